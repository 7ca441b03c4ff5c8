// readStatements: parses the step through the bridge, checks the statements and runs every
// option reader; and the reader of the procedure statement's own options.
#include <string>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "effects/effects.h"
#include "grammar/grammar.h"
#include "grammar/slot_reader.h"
#include "statements/option_table.h"
#include "statements/statements.h"

namespace vsf {

namespace {

namespace ps = slots::proc;
namespace pf = flags::proc;

// clang-format off
constexpr OptionRow kProcedureRows[] = {
    {"DATA", ps::kData, kOptDataSet, 0, {}, VSF_FIELD(settings.inputReader), kFixedOnRead},
    {"VALDATA", ps::kValData, kOptDataSet, 0, {}, VSF_FIELD(settings.validation.dataSet), kFixedOnRead},
    {"TESTDATA", ps::kTestData, kOptDataSet, 0, {}, VSF_FIELD(settings.test.dataSet), kFixedOnRead},
    {"MAXMACRO", ps::kMaxMacro, kOptInteger, 100, {-1}, VSF_FIELD(settings.maxMacroByGroups), kFixedOnRead},
    {"NOPRINT", pf::kNoPrint, kOptFlag, 0, {}, VSF_FIELD(settings.displaysSuppressed), kFixedOnRead},
    {"SHOWINTERNALTABLES$", pf::kShowInternalTables, kOptFlag, 0, {},
     VSF_FIELD(settings.showInternalTables), kNoEffect},
    {"SEED", ps::kSeed, kOptInteger, 0, {}, VSF_FIELD(settings.seedOption), kFixedOnRead},
    {"NAMELEN", ps::kNameLen, kOptInteger, 20, {20, 200}, VSF_OPTION(nameLength), kFixedOnRead},
    {"OUTDESIGN", ps::kOutDesign, kOptDataSet, 0, {}, VSF_FIELD(settings.outDesignDataSet), kRunChanges},
    {"FULLMODEL", pf::kFullModel, kOptFlag, 0, {}, VSF_FIELD(settings.outDesignFullModel), kFixedOnRead},
    {"ADDINPUTVARS", pf::kAddInputVars, kOptFlag, 0, {}, VSF_FIELD(settings.outDesignAddInputVars), kFixedOnRead},
    {"NAMES", pf::kOutDesignNames, kOptFlag, 0, {}, VSF_FIELD(settings.outDesignNames), kFixedOnRead},
    // The design options of the procedure statement.
    {"PARMLABELSTYLE", ps::kParmLabelStyle, kOptCode, 1, {}, VSF_FIELD(lev.design->labelStyle), kSetUpSettles},
    {"SHORTPARMNAMES$", pf::kShortParmNames, kOptFlag, 0, {},
     VSF_FIELD(lev.design->shortParmNames), kFixedOnRead},
};
// clang-format on

// A FREQ or WEIGHT statement: the grammar takes exactly one numeric variable.
bool bindSingleVariable(ReaderTarget* s, const OptionSlot* slot, VarDescriptor* out) {
  if (!slot || slot->count != 1 || slot->vars.empty() || slot->vars[0] < 0 ||
      !s->settings.inputReader)
    return false;
  return hostv().ds->varByNumber(s->settings.inputReader, slot->vars[0], out) == 0;
}

// The BY statement's variables go to the input reader, which then walks their groups: each
// name with its DESCENDING, and NOTSORTED for the whole list.
int declareByVariables(ReaderTarget* s, const OptionSlot* by) {
  if (!s->settings.inputReader || !by || !by->given || by->count == 0) return 0;
  std::vector<ByVariable> vars;
  for (int i = 0; i < by->count; ++i) {
    std::string_view name;
    if (zlstget(by->names, i, &name) != 0) break;
    bool descending = static_cast<size_t>(i) < by->numbers.size() && by->numbers[i] != 0;
    vars.push_back({std::string(name), descending});
  }
  bool notSorted = by->number == 1;
  if (hostv().ds->setBy(s->settings.inputReader, vars.data(), static_cast<int>(vars.size()),
                        notSorted) != 0) {
    // The data-set service has said which variable; nothing of the step can run.
    raiseStepCode(s->stepCode, step::kStatement);
    return rc::kStatement;
  }
  return 0;
}

}  // namespace

OptionTable procedureOptionTable() { return {"proc", kProcedureRows}; }

int readProcedureOptions(ReaderTarget* s, const StatementRecord* p) {
  Slots r(p);
  readRows(s, kProcedureRows, p);
  s->lev.alloc->reader = s->settings.inputReader;
  s->settings.byVariables = p->slot(ps::kByVars);
  s->settings.hasByStatement = r.given(ps::kByVars) ? p->slot(ps::kByVars)->count : 0;
  if (int rc = declareByVariables(s, s->settings.byVariables); rc != 0) return rc;

  SelectionOptions& o = s->settings.options;
  o.freqPresent = bindSingleVariable(s, p->slot(ps::kFreq), &s->settings.freqVariable);
  o.weightPresent = bindSingleVariable(s, p->slot(ps::kWeight), &s->settings.weightVariable);
  o.freqOrWeight = o.freqPresent || o.weightPresent;

  std::string_view prefix;
  s->settings.outDesignPrefixGiven = r.given(ps::kOutDesign) && r.given(ps::kOutDesignPrefix);
  if (r.given(ps::kOutDesign) && r.given(ps::kOutDesignPrefix) &&
      zlstget(p->slot(ps::kOutDesignPrefix)->names, 0, &prefix) == 0) {
    s->settings.outDesignPrefix = prefix.data();
    s->settings.outDesignPrefixLength = static_cast<int16_t>(prefix.size());
  }

  ZDesign* d = s->lev.design;
  if (d->shortParmNames && r.given(ps::kShortNamesText)) {
    d->shortNameText = p->slot(ps::kShortNamesText)->text.c_str();
    d->shortNameLength = static_cast<int32_t>(p->slot(ps::kShortNamesText)->text.size());
  }
  if (p->flag(pf::kSeparatorGiven)) {
    d->separatorText = p->slot(ps::kSeparator)->text.c_str();
    d->separatorLength = static_cast<int32_t>(p->slot(ps::kSeparator)->text.size());
  }
  // TRUNCATE (a CLASS option) is read here because zeffinfo, before the CLASS reader, gives
  // the CLASS variables their widths by it.
  d->widthOption = p->flag(pf::kTruncateGiven) ? r.integer(ps::kTruncate, 0) : -1;
  // It would show the hidden data of plots this build does not draw.
  if (p->flag(pf::kShowInternalTables)) noEffectMsg("SHOWINTERNALTABLES");
  return 0;
}

}  // namespace vsf
