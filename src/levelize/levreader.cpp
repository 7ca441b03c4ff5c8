// Reading observations for levelization and every later pass: the row images bound to the
// input reader, the letter-coded fetch and the next-observation routines.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/strings.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

constexpr int kRaw = 0;
constexpr int kFormatted = 1;

bool bound(const LevelVar* v) { return v && v->desc && v->desc->number >= 0; }
bool isCharacter(const LevelVar& v) { return v.desc && v.desc->type == kVarCharacter; }

void syncWeightCount(ZLevCtx* ctx) {
  if (!ctx->weights)
    ctx->weightCount = 0;
  else if (ctx->weightCount == 0)
    ctx->weightCount = 1;
}

// Walks the image layout in order: continuous values, row slot 2, responses, row slots 1 and
// 3, formatted CLASS values (formatted image only), weights (one field when there is none),
// frequency, raw CLASS values. Each visit gets the variable (null for the reserved weight and
// frequency fields), its offset, its length and its bind type.
template <typename Visit>
int walkImage(const ZLevCtx* ctx, int kind, Visit visit) {
  const ZDesign* d = ctx->design;
  int at = 0;
  auto number = [&](const LevelVar* v) {
    if (!bound(v)) return;
    visit(v, at, 8, isCharacter(*v) ? 0 : kBindNumeric);
    at += 8;
  };
  for (int j = 0; j < d->modelVarCount; ++j) number(&d->modelVars[j]);
  number(ctx->rowSlots[1]);
  for (int r = 0; r < ctx->responseCount; ++r) number(&ctx->responses[r]);
  number(ctx->rowSlots[0]);
  number(ctx->rowSlots[2]);
  if (kind == kFormatted) {
    for (int i = 0; i < d->classCount; ++i) {
      const LevelVar& v = d->classVars[i];
      if (!v.desc) continue;
      visit(&v, at, levReadWidth(v), kBindFormatted);
      at += levReadWidth(v);
    }
  }
  if (ctx->weightCount == 0) {
    visit(nullptr, at, 8, 0);
    at += 8;
  } else {
    for (int k = 0; k < ctx->weightCount; ++k) number(&ctx->weights[k]);
  }
  if (ctx->frequency && bound(ctx->frequency)) {
    number(ctx->frequency);
  } else {
    visit(nullptr, at, 8, 0);
    at += 8;
  }
  for (int i = 0; i < d->classCount; ++i) {
    const LevelVar& v = d->classVars[i];
    if (!v.desc) continue;
    const int len = levRawLength(v);
    visit(&v, at, len, isCharacter(v) ? kBindCharacter : kBindNumeric);
    at += len;
  }
  return at;
}

// Where the numbers of an observation come from: the row image the reader filled, field after
// field, or the columns of the host's block that holds the observation.
struct ImageSource {
  const char* p;
  bool number(const LevelVar*, double* to) {
    if (to) std::memcpy(to, p, 8);
    p += 8;
    return true;
  }
};

struct ColumnSource {
  const double* const* columns;
  uint32_t row;
  // False for a variable without a column of numbers: the image then holds what it reads.
  bool number(const LevelVar* v, double* to) {
    const double* c = columns[v->desc->number];
    if (!c || isCharacter(*v)) return false;
    // The next rows' line of each column is asked for now: a read of many columns keeps more
    // streams going than the processor follows on its own.
    __builtin_prefetch(c + row + 8);
    if (to) *to = c[row];
    return true;
  }
};

// Counts the bytes the numbers take in the image, once when a CLASS-only image is bound.
struct ByteCount {
  int32_t bytes = 0;
  bool number(const LevelVar*, double*) {
    bytes += 8;
    return true;
  }
};

// The mean of the bound weights, missing when one is; false when the source has no value.
template <typename Source>
bool weightOf(const ZLevCtx* ctx, Source& src, double* weight) {
  double sum = 0.0;
  bool missing = false;
  int n = 0;
  for (int k = 0; k < ctx->weightCount; ++k) {
    if (!bound(&ctx->weights[k])) continue;
    double x;
    if (!src.number(&ctx->weights[k], &x)) return false;
    if (znotfinite(x)) missing = true;
    sum += x;
    ++n;
  }
  *weight = missing ? missingValue('.') : n > 0 ? sum / n : 0.0;
  return true;
}

template <typename Source>
bool copyNumber(Source& src, const LevelVar* v, double* to) {
  return !bound(v) || src.number(v, to);
}

template <typename Source>
bool copySlot(Source& src, LevelVar* v) {
  return !bound(v) || src.number(v, &v->value);
}

// The numbers that lead the image: continuous values (unless the caller reads them itself),
// row slot 2, responses, row slots 1 and 3.
template <typename Source>
bool copyLeading(ZLevCtx* ctx, Source& src, const FetchTargets& to, bool modelVars = true) {
  ZDesign* d = ctx->design;
  for (int j = 0; j < d->modelVarCount && modelVars; ++j)
    if (!copyNumber(src, &d->modelVars[j], to.values ? to.values + j : nullptr)) return false;
  if (!copySlot(src, ctx->rowSlots[1])) return false;
  for (int r = 0; r < ctx->responseCount; ++r)
    if (!copyNumber(src, &ctx->responses[r], to.responses ? to.responses + r : nullptr))
      return false;
  return copySlot(src, ctx->rowSlots[0]) && copySlot(src, ctx->rowSlots[2]);
}

// A value left-justified, unless the variable is raw: " south" is the level "south", and its
// least raw text is "south" too. Most values start with no blank and are left as they are.
inline void leftJustify(const LevelVar& v, char* text, int width) {
  if (!v.raw && width > 0 && text[0] == ' ') zjustify(text, width, 'l', nullptr, nullptr);
}

// A formatted value into its buffer of the levels' width. One read wider than the levels is
// aligned as the levels are, and marked longer when its text does not fit their width: it is
// then none of them, though its first characters may spell one.
void copyFormatted(const LevelVar& v, const char* p, char* to, uint8_t* state) {
  const int width = levReadWidth(v), fw = v.formattedWidth;
  if (state) *state = static_cast<uint8_t>(*state & ~valuestate::kLonger);
  if (width <= fw) {
    std::memcpy(to, p, static_cast<size_t>(fw));
    leftJustify(v, to, fw);
    return;
  }
  thread_local std::string text;  // no allocation per observation once it has grown
  text.assign(p, static_cast<size_t>(width));
  if (!v.raw) zjustify(text.data(), width, 'l', nullptr, nullptr);
  std::memcpy(to, text.data(), static_cast<size_t>(fw));
  if (state && ztrimlen(text.data() + fw, width - fw) > 0) *state |= valuestate::kLonger;
}

void markMissing(uint8_t* state, bool missing) {
  if (!state) return;
  *state =
      static_cast<uint8_t>((*state & ~valuestate::kMissing) | (missing ? valuestate::kMissing : 0));
}

// Copies the image out into the targets the letters asked for; of a CLASS-only image
// (`classOnly`) only its CLASS fields, the numbers having come from the host's columns.
void copyOut(ZLevCtx* ctx, const char* p, bool formatted, const FetchTargets& to,
             const LevRowImage* classOnly = nullptr) {
  ZDesign* d = ctx->design;
  const bool numbers = classOnly == nullptr;
  if (numbers) {
    ImageSource src{p};
    (void)copyLeading(ctx, src, to);
    p = src.p;
  } else {
    p += classOnly->leadingBytes;
  }
  if (formatted) {
    for (int i = 0; i < d->classCount; ++i) {
      const LevelVar& v = d->classVars[i];
      if (!v.desc) continue;
      if (to.formatted)
        copyFormatted(v, p, to.formatted[i], to.classState ? to.classState + i : nullptr);
      p += levReadWidth(v);
    }
  }
  if (!numbers) {
    p += classOnly->weightBytes;
  } else if (ctx->weightCount == 0) {
    p += 8;
  } else {
    double w = 0;
    ImageSource src{p};
    (void)weightOf(ctx, src, &w);
    p = src.p;
    if (to.weight) *to.weight = w;
  }
  if (ctx->frequency && bound(ctx->frequency)) {
    if (to.frequency && numbers) std::memcpy(to.frequency, p, 8);
  }
  p += 8;
  int nk = 0, ck = 0;
  uint8_t* state = formatted && to.formatted ? to.classState : nullptr;
  for (int i = 0; i < d->classCount; ++i) {
    const LevelVar& v = d->classVars[i];
    if (isCharacter(v)) {
      const int len = levRawLength(v);
      if (to.characterRaw) {
        std::memcpy(to.characterRaw[ck].text, p, static_cast<size_t>(len));
        to.characterRaw[ck].length = len;
        leftJustify(v, to.characterRaw[ck].text, len);
      }
      if (state) markMissing(state + i, ztrimlen(p, len) == 0);
      ++ck;
      p += len;
    } else {
      if (v.desc) {
        if (to.numericRaw) std::memcpy(to.numericRaw + nk, p, 8);
        if (state) {
          double x;
          std::memcpy(&x, p, 8);
          markMissing(state + i, znotfinite(x));
        }
        p += 8;
      }
      ++nk;
    }
  }
}

}  // namespace

// Per model variable, its data set variable (-1 when it is not bound), found once per design
// and reader: read through the descriptors at every observation, each a line of memory of its
// own, they cost as much as the numbers.
struct FetchPlan {
  const LevelVar* vars = nullptr;
  int32_t count = 0;
  HostDataSet* reader = nullptr;
  bool character = false;  // a model variable is character: it has no column of numbers
  std::vector<int32_t> numbers;
};

namespace {

const FetchPlan& fetchPlan(ZLevCtx* ctx) {
  const ZDesign* d = ctx->design;
  const FetchPlan* p = ctx->fetchPlan.get();
  if (p && p->vars == d->modelVars && p->count == d->modelVarCount &&
      p->reader == ctx->alloc->reader)
    return *p;
  auto plan = std::make_shared<FetchPlan>();
  plan->vars = d->modelVars;
  plan->count = d->modelVarCount;
  plan->reader = ctx->alloc->reader;
  for (int j = 0; j < d->modelVarCount; ++j) {
    const LevelVar& v = d->modelVars[j];
    plan->numbers.push_back(bound(&v) ? v.desc->number : -1);
    plan->character = plan->character || (bound(&v) && isCharacter(v));
  }
  ctx->fetchPlan = plan;
  return *plan;
}

// The model variables' numbers from the columns, as copyLeading takes them.
bool modelNumbersFromColumns(ZLevCtx* ctx, const ColumnSource& src, double* values) {
  const FetchPlan& plan = fetchPlan(ctx);
  if (plan.character) return false;
  for (size_t j = 0; j < plan.numbers.size(); ++j) {
    if (plan.numbers[j] < 0) continue;
    const double* c = src.columns[plan.numbers[j]];
    if (!c) return false;
    __builtin_prefetch(c + src.row + 8);
    if (values) values[j] = c[src.row];
  }
  return true;
}

// Binds an empty list, so that the reader fills no buffer of ours.
void unbind(HostDataSet* reader) {
  const HostDsFamily& ds = *hostv().ds;
  ds.bindEnd(ds.bindBegin(reader, 0));
}

// The numbers of the observation straight from the columns of the host's block: the leading
// ones, the weight and the frequency. False when the host has no such columns or a variable
// has none.
bool numbersFromColumns(ZLevCtx* ctx, const FetchTargets& to, ColumnSource* src,
                        bool modelVars = true) {
  const HostDsFamily& ds = *hostv().ds;
  if (!ds.currentNumbers) return false;
  src->columns = ds.currentNumbers(ctx->alloc->reader, &src->row);
  if (!src->columns || (modelVars && !modelNumbersFromColumns(ctx, *src, to.values)) ||
      !copyLeading(ctx, *src, to, false))
    return false;
  double w = 0;
  if (ctx->weightCount > 0 && !weightOf(ctx, *src, &w)) return false;
  double f = 0;
  const bool counted = ctx->frequency && bound(ctx->frequency);
  if (counted && !src->number(ctx->frequency, &f)) return false;
  if (to.weight && ctx->weightCount > 0) *to.weight = w;
  if (to.frequency && counted) *to.frequency = f;
  return true;
}

// Without CLASS variables every field of the image is a number: they are taken straight from
// the columns of the host's block, which spares the reader the copy into the image and this
// the copy out of it. False when the host has no such columns or a variable has none; the
// targets are then filled from the image.
bool fetchColumns(ZLevCtx* ctx, const FetchTargets& to, ColumnSource* out = nullptr) {
  LevAllocRecord* a = ctx->alloc;
  if (ctx->design->classCount > 0) return false;
  ColumnSource src{nullptr, 0};
  if (!numbersFromColumns(ctx, to, &src, out == nullptr)) return false;
  if (out) *out = src;
  if (a->active >= 0) {
    // The image is not read any more: the reader stops filling it.
    unbind(a->reader);
    a->active = -1;
  }
  return true;
}

void bindImage(ZLevCtx* ctx, int kind, bool classOnly) {
  LevAllocRecord* a = ctx->alloc;
  LevRowImage& img = a->images[kind];
  HostPool* pool = levAllocator(ctx);
  // A reader still filling the image it leaves must stop before the image goes.
  if (a->active == kind && img.reader && img.reader != a->reader) unbind(img.reader);
  levFree(pool, img.bytes);
  syncWeightCount(ctx);
  img.size = walkImage(ctx, kind, [](const LevelVar*, int, int, int) {});
  img.bytes = static_cast<char*>(levAlloc(pool, static_cast<size_t>(img.size)));
  img.reader = a->reader;
  img.classOnly = classOnly ? 1 : 0;
  ByteCount leading;
  (void)copyLeading(ctx, leading, FetchTargets{});
  img.leadingBytes = leading.bytes;
  img.weightBytes = ctx->weightCount == 0 ? 8 : 0;
  for (int k = 0; k < ctx->weightCount; ++k) img.weightBytes += bound(&ctx->weights[k]) ? 8 : 0;
  const HostDsFamily& ds = *hostv().ds;
  const ZDesign* d = ctx->design;
  int count = ctx->responseCount + ctx->weightCount + d->modelVarCount + 2 * d->classCount +
              (ctx->rowSlots[0] ? 1 : 0) + (ctx->rowSlots[1] ? 1 : 0) + 2;
  img.list = ds.bindBegin(a->reader, count);
  walkImage(ctx, kind, [&](const LevelVar* v, int at, int len, int type) {
    if (!v || type == 0) return;  // reserved field, or a character variable left unbound
    if (classOnly && (v < d->classVars || v >= d->classVars + d->classCount)) return;
    if (type == kBindFormatted) levTruncationCheck(const_cast<LevelVar*>(v));
    ds.bindVar(img.list, v->desc->number, img.bytes + at, len, type);
  });
  ds.bindEnd(img.list);
  a->active = kind;
}

// The CLASS fields of the current observation (their formatted and raw values), from an
// image of them alone that the reader fills.
void fetchClassImage(ZLevCtx* ctx, int kind, const FetchTargets& to) {
  LevAllocRecord* a = ctx->alloc;
  LevRowImage& img = a->images[kind];
  if (!img.list || img.reader != a->reader || !img.classOnly) bindImage(ctx, kind, true);
  if (a->active != kind) {
    hostv().ds->bindEnd(img.list);  // fills the image from the current observation
    a->active = kind;
  }
  copyOut(ctx, img.bytes, kind == kFormatted, to, &img);
}

// With CLASS variables the numbers come from the columns as above, and the CLASS fields from
// their own image. False, touching no binding, when the host has no columns for the numbers.
bool fetchWithClasses(ZLevCtx* ctx, int kind, const FetchTargets& to) {
  ColumnSource src{nullptr, 0};
  if (ctx->design->classCount == 0 || !numbersFromColumns(ctx, to, &src)) return false;
  fetchClassImage(ctx, kind, to);
  return true;
}

}  // namespace

void zlevBindRows(ZLevCtx* ctx, int formatted) {
  bindImage(ctx, formatted ? kFormatted : kRaw, false);
}

void zlevReleaseRows(LevAllocRecord* a) {
  // The reader fills the list bound last: it must stop filling the images released here.
  if (a->active >= 0 && a->images[a->active].reader) unbind(a->images[a->active].reader);
  for (LevRowImage& img : a->images) {
    if (a->allocator) levFree(a->allocator, img.bytes);
    img = LevRowImage();
  }
  a->active = -1;
}

int zlevFetch(ZLevCtx* ctx, const char* spec, const FetchTargets& to) {
  bool formatted = ctx->formattedRow != 0 || std::strchr(spec, 'c') != nullptr;
  const char* letters = "zcubywf";
  FetchTargets want;
  for (const char* s = spec; *s; ++s) {
    if (!std::strchr(letters, *s)) continue;  // not a fetch letter: no target
    switch (*s) {
      case 'z':
        want.values = to.values;
        break;
      case 'c':
        want.formatted = to.formatted;
        want.classState = to.classState;
        break;
      case 'u':
        want.numericRaw = to.numericRaw;
        break;
      case 'b':
        want.characterRaw = to.characterRaw;
        break;
      case 'y':
        want.responses = to.responses;
        break;
      case 'w':
        want.weight = to.weight;
        break;
      case 'f':
        want.frequency = to.frequency;
        break;
    }
  }
  syncWeightCount(ctx);
  int kind = formatted ? kFormatted : kRaw;
  if (fetchColumns(ctx, want) || fetchWithClasses(ctx, kind, want)) return 1;
  LevAllocRecord* a = ctx->alloc;
  LevRowImage& img = a->images[kind];
  if (!img.list || img.reader != a->reader || img.classOnly) bindImage(ctx, kind, false);
  if (a->active != kind) {
    hostv().ds->bindEnd(img.list);  // fills the image from the current observation
    a->active = kind;
  }
  copyOut(ctx, img.bytes, formatted, want);
  return 1;
}

const double* const* zlevFetchExtras(ZLevCtx* ctx, const FetchTargets& to, uint32_t* row) {
  syncWeightCount(ctx);
  ColumnSource src{nullptr, 0};
  if (!fetchColumns(ctx, to, &src)) return nullptr;
  *row = src.row;
  return src.columns;
}

const double* const* zlevFetchKeyed(ZLevCtx* ctx, const FetchTargets& to, uint32_t* row) {
  syncWeightCount(ctx);
  ColumnSource src{nullptr, 0};
  if (ctx->design->classCount == 0 || !numbersFromColumns(ctx, to, &src, false)) return nullptr;
  fetchClassImage(ctx, kFormatted, to);
  *row = src.row;
  return src.columns;
}

std::string levCurrentText(const ZLevCtx* ctx, int c) {
  const LevelVar* var = &ctx->design->classVars[c];
  const LevRowImage& img = ctx->alloc->images[kFormatted];
  std::string text;
  if (!img.bytes) return text;
  walkImage(ctx, kFormatted, [&](const LevelVar* v, int at, int len, int type) {
    if (v == var && type == kBindFormatted) text.assign(img.bytes + at, static_cast<size_t>(len));
  });
  if (!var->raw && !text.empty())
    zjustify(text.data(), static_cast<int>(text.size()), 'l', nullptr, nullptr);
  text.resize(static_cast<size_t>(ztrimlen(text.data(), static_cast<int>(text.size()))));
  return text;
}

int zlevNextObs(ZLevCtx* ctx) { return hostv().ds->readNext(ctx->alloc->reader) == 1 ? 1 : 0; }

int zlevNextObsRequest(ZLevCtx* ctx) {
  return hostv().ds->readNext(ctx->alloc->reader) == 1 ? 1 : 0;
}

int zlevWorkNext(LevelizeWork* work) {
  auto* ctx = static_cast<ZLevCtx*>(work->owner);
  return ctx->next(ctx);
}

int zlevWorkFetch(LevelizeWork* work, ZDesign* design) {
  auto* ctx = static_cast<ZLevCtx*>(work->owner);
  FetchTargets t;
  t.values = work->values;
  t.numericRaw = work->numericRaw;
  t.characterRaw = work->characterRaw;
  int r;
  if (ctx->formattedRow) {
    t.formatted = work->formatted;
    r = ctx->fetch(ctx, "zcub", t);
  } else {
    r = ctx->fetch(ctx, "zub", t);
  }
  if (!design->freqVar) return r;
  if (r == 0) return 0;
  FetchTargets f;
  f.frequency = &design->freqVar->value;
  return ctx->fetch(ctx, "f", f) != 0 ? 1 : 0;
}

int zlevFilterObs(LevelizeWork* work) {
  auto* ctx = static_cast<ZLevCtx*>(work->owner);
  return ctx->filter(work->inUse, ctx->design->filterArg, ctx);
}

int levelizeNextDefault(LevelizeWork* work) {
  return hostv().ds->readNext(static_cast<HostDataSet*>(work->owner)) == 1 ? 1 : 0;
}

int levelizeFetchDefault(LevelizeWork* work, ZDesign* d) {
  auto* reader = static_cast<HostDataSet*>(work->owner);
  const HostDsFamily& ds = *hostv().ds;
  for (int j = 0; j < d->modelVarCount; ++j)
    if (bound(&d->modelVars[j])) work->values[j] = ds.getNum(reader, d->modelVars[j].desc->number);
  for (int i = 0; i < d->classCount; ++i) {
    LevelVar& v = d->classVars[i];
    if (!v.desc) continue;
    levTruncationCheck(&v);
    std::string text = ds.getFormatted(reader, v.desc->number);
    zcopypad(text.data(), static_cast<int>(text.size()), work->formatted[i], v.formattedWidth);
    leftJustify(v, work->formatted[i], v.formattedWidth);
    int slot = work->rawSlot[i];
    if (isCharacter(v)) {
      std::string_view raw = ds.getChar(reader, v.desc->number);
      RawText& r = work->characterRaw[slot];
      zcopypad(raw.data(), static_cast<int>(raw.size()), r.text, r.length);
      leftJustify(v, r.text, r.length);
    } else {
      work->numericRaw[slot] = ds.getNum(reader, v.desc->number);
    }
  }
  if (bound(d->freqVar)) d->freqVar->value = ds.getNum(reader, d->freqVar->desc->number);
  return 1;
}

int zlevcbfwd(LevelizeWork* work) {
  auto* ctx = static_cast<ZLevCtx*>(work->owner);
  ctx->formattedRow = work->formattedRow;
  return ctx->start(ctx);
}

int zlevcbreset(ZLevCtx* ctx) {
  hostv().ds->start(ctx->alloc->reader);
  return 0;
}

int zlevcbbymode(ZLevCtx* ctx) {
  int r = hostv().ds->mode(ctx->alloc->reader, 'B');
  hostv().ds->start(ctx->alloc->reader);
  return r != 0 ? 1 : 0;
}

}  // namespace vsf
