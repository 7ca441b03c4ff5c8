// A BY group without a training observation: one more read of its observations counts what
// each one lacks, so that the error names the group and says why none could be used.
#include <cmath>
#include <string>
#include <vector>

#include "base/host.h"
#include "frame/bindings.h"
#include "frame/groupdata_internal.h"
#include "levelize/levelize.h"

namespace vsf {

namespace {

// What the group's observations lack: the response, a variable the effects read (per
// continuous and per CLASS variable), a usable WEIGHT or FREQ value; and those that lack none
// of it, left out of training by their role or a value the model cannot use.
struct Lacks {
  double read = 0, response = 0, weight = 0, rest = 0;
  std::vector<double> cont, classes;
  std::vector<char> contUsed, classUsed;
};

void markUsed(const ZDesign* d, Lacks* l) {
  l->cont.assign(static_cast<size_t>(d->modelVarCount), 0);
  l->classes.assign(static_cast<size_t>(d->classCount), 0);
  l->contUsed.assign(l->cont.size(), 0);
  l->classUsed.assign(l->classes.size(), 0);
  std::vector<int32_t> order;
  effectVariables(d, &l->classUsed, &order);
  for (int32_t j : order)
    if (j >= 0) l->contUsed[static_cast<size_t>(j)] = 1;
}

void countObservation(const DataPass* p, Lacks* l) {
  const ZDesign* d = p->d;
  Observation obs;
  obs.status = zreadobs(p->ctx, &obs.y, &obs.w, &obs.f);
  l->read += 1;
  bool lacking = false;
  auto add = [&](double* n) { *n += 1, lacking = true; };
  if (!std::isfinite(obs.y)) add(&l->response);
  if ((obs.status & obs::kWeight) || (p->o->freqPresent && !(std::floor(obs.f) >= 1)))
    add(&l->weight);
  for (int32_t j = 0; j < d->modelVarCount; ++j)
    if (l->contUsed[static_cast<size_t>(j)] && d->modelVars[j].desc &&
        !std::isfinite(p->ctx->values[j]))
      add(&l->cont[static_cast<size_t>(j)]);
  // A level of an observation the group cannot use is no level of the group: only a missing
  // value counts here.
  for (int32_t c = 0; c < d->classCount; ++c)
    if (l->classUsed[static_cast<size_t>(c)] && d->classVars[c].desc &&
        (p->ctx->classState ? (p->ctx->classState[c] & valuestate::kMissing) != 0
                            : p->ctx->levelIndexes[c] < 0))
      add(&l->classes[static_cast<size_t>(c)]);
  if (!lacking) l->rest += 1;
}

// "the response y is missing in 7, x is missing in 2, ..." from the catalogue's pieces.
std::string reasons(const DataPass* p, const Lacks& l) {
  std::string text;
  auto piece = [&](int message, std::initializer_list<MsgArg> args) {
    text += (text.empty() ? "" : ", ") + hostMsgText(848, message, args);
  };
  auto count = [](double n) { return static_cast<long long>(n); };
  if (l.response > 0)
    piece(6274, {std::string_view(p->s->settings.response.name), count(l.response)});
  for (size_t j = 0; j < l.cont.size(); ++j)
    if (l.cont[j] > 0)
      piece(6275, {std::string_view(p->d->modelVars[j].desc->name), count(l.cont[j])});
  for (size_t c = 0; c < l.classes.size(); ++c)
    if (l.classes[c] > 0)
      piece(6275, {std::string_view(p->d->classVars[c].desc->name), count(l.classes[c])});
  if (l.weight > 0) piece(6276, {count(l.weight)});
  if (l.rest > 0) piece(6277, {count(l.rest)});
  return text;
}

}  // namespace

void explainNoTrainingRows(DataPass* p) {
  Lacks l;
  markUsed(p->d, &l);
  ZLevCtx* ctx = p->ctx;
  ctx->start(ctx);
  while (ctx->next(ctx)) countObservation(p, &l);
  if (l.read == 0) {  // nothing to count: the file is its line of names alone
    hostMsg(848, 6300, {std::string_view(dataSetName(p->s->settings.inputReader))});
  } else {
    const std::string why = reasons(p, l);
    hostMsg(848, 6273, {static_cast<long long>(l.read), std::string_view(why)});
  }
  raiseStepCode(p->s->stepCode, step::kLevelization108);
  p->s->group.noTrainingExplained = 1;
}

}  // namespace vsf
