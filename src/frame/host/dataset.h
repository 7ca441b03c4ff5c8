// The host's data-set services: input readers positioned by BY group, variable descriptors,
// bound reads, and output data sets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsf {

struct HostDataSet;   // an open data set: an input reader or an output data set
struct HostBindList;  // a list of variables bound to the caller's buffers

constexpr int kDsInput = 1;
constexpr int kDsOutput = 2;

constexpr int kVarNumeric = 1;
constexpr int kVarCharacter = 2;

// Bind types: 8-byte numbers, raw character bytes, the formatted value.
constexpr int kBindNumeric = 1;
constexpr int kBindCharacter = 4;
constexpr int kBindText = 8;
constexpr int kBindFormatted = 2;

// What keepParsed does with the blocks parsed from a data set's text.
constexpr int kParsedDrop = 0;
constexpr int kParsedHold = 1;
constexpr int kParsedHandOver = 2;

// Attribute codes of hostDsAttr.
namespace dsattr {
constexpr int kRows = 2;       // int64: rows of a data object or view
constexpr int kObsCount = 3;   // int64: observations of the data set (-1 when unknown)
constexpr int kKind = 23;      // int32: 1 for a data set
constexpr int kName = 81;      // std::string: the data set's name
constexpr int kVarCount = 95;  // int32: number of variables
// int64: observations per block of the host's storage of an input data set (the last block
// holds what is left), 0 when blocks vary; a reader that starts a run of observations at a
// block's start reads no block another run reads.
constexpr int kBlockRows = 1001;
constexpr int kGroupFirst = 1002;  // int64: the current BY group's first observation, from 0
// int64: observations of the current BY group, at most (of the data set when read whole)
constexpr int kGroupObs = 1003;
}  // namespace dsattr

// Statuses of the data-set services besides hs::kVarNotFound (status.h).
namespace dsstatus {
constexpr uint32_t kBadList = 0x8001F830u;     // a variable list reversed or naming no variable
constexpr uint32_t kBadBinding = 0x8001F831u;  // a binding of the wrong type, length or kind
}  // namespace dsstatus

struct VarDescriptor {
  int number = -1;         // position in the data set, from 0
  int type = kVarNumeric;  // kVarNumeric or kVarCharacter
  int length = 8;          // bytes: 8 for numbers, the longest value for characters
  std::string name;
  std::string label;
  std::string format;  // format name, empty for the default
  int formatWidth = 0;
  int formatDecimals = 0;
};

struct ByVariable {
  std::string name;
  bool descending = false;
};

// A variable definition of an output data set.
struct OutVarDefinition {
  int type = kVarNumeric;
  int length = 8;
  std::string name;
  std::string label;
};

struct HostDsFamily {
  // Opens a data set by name (library member or quoted path). Returns null and a status when
  // it cannot be opened; the host has issued the error. A file that is missing, unreadable or
  // not valid CSV ends the step (step::kInternal) after the host's error. kDsOutput is outCreate.
  HostDataSet* (*open)(std::string_view name, int direction, uint32_t* status);
  // The most recent data set read or written, for a step without DATA=; empty when none.
  std::string (*lastName)();
  void (*close)(HostDataSet* ds);

  // BY groups: declare the BY variables, then position group after group.
  int (*setBy)(HostDataSet* ds, const ByVariable* vars, int count, bool notSorted);
  // 1 when the next BY group is positioned (the whole data set once without BY), 0 at the end.
  int (*nextByGroup)(HostDataSet* ds);
  // 'B' reads within the current BY group, 'F' the whole data set. Before the first group
  // is positioned, 'B' reads the whole data set too.
  int (*mode)(HostDataSet* ds, char mode);
  // Walks the BY groups again: the next nextByGroup positions the first group.
  int (*setup)(HostDataSet* ds);
  // Back to the first observation of the current group (or of the data set in mode 'F').
  int (*start)(HostDataSet* ds);
  // 1 when the next observation is current, 0 at the end of the group, negative on failure.
  int (*readNext)(HostDataSet* ds);
  // A second reader of the same data set, for another thread: the same BY variables, read mode
  // and current group, at the group's first observation, nothing bound; closed with close.
  // Null when ds is no input data set.
  HostDataSet* (*cloneReader)(HostDataSet* ds);
  // Positions the reader so that readNext delivers observation k (from 0) of the current group
  // (of the data set in mode 'F'), or reports the end when there is no such observation.
  int (*seekObs)(HostDataSet* ds, int64_t k);

  // Variables.
  int (*findVar)(HostDataSet* ds, std::string_view name, int* number);  // 0 or kVarNotFound
  int (*varByNumber)(HostDataSet* ds, int number, VarDescriptor* out);
  int (*attr)(HostDataSet* ds, int code, void* out);

  // Values of the current observation.
  double (*getNum)(HostDataSet* ds, int number);
  std::string_view (*getChar)(HostDataSet* ds, int number);
  // The formatted value, right-aligned numbers and left-aligned characters in a field of
  // the variable's format width.
  std::string (*getFormatted)(HostDataSet* ds, int number);
  // The numbers of the stored block that holds the current observation, one column per
  // variable (null for a character variable), and the observation's row in them; null when
  // there is no current observation. Valid until the next readNext, seekObs or start; for
  // readers that take many numeric variables of each observation without copies. A host that
  // stores no such columns leaves it null.
  const double* const* (*currentNumbers)(HostDataSet* ds, uint32_t* row) = nullptr;
  // Blocks the host parses from the text of ds: kParsedHold lets go what was kept and keeps
  // those parsed from now on for later passes, as far as a share of the memory allows;
  // kParsedHandOver gives each kept
  // block once more and lets it go; kParsedDrop lets every kept block go. A host that parses
  // nothing leaves it null.
  void (*keepParsed)(HostDataSet* ds, int mode) = nullptr;

  // Bound reads: readNext copies the bound variables into the caller's buffers. kBindNumeric
  // (numeric variables, length 8) copies the double; kBindCharacter (character variables)
  // the bytes blank-padded or cut to the length; kBindText and kBindFormatted the value as
  // text, numbers in the best format of the bound width. bindVar: 0, hs::kVarNotFound or
  // dsstatus::kBadBinding. The list bound last is the one readNext fills.
  HostBindList* (*bindBegin)(HostDataSet* ds, int count);
  int (*bindVar)(HostBindList* list, int number, void* dest, int length, int bindType);
  int (*bindEnd)(HostBindList* list);

  // Expands a variable list over the data set's variables into variable numbers. Forms: 2 a-b
  // (numbered range), 3 a--b (positional), 4 a-NUMERIC-b, 5 a-CHARACTER-b, 6 prefix a:,
  // 7 _NUMERIC_, 8 _CHARACTER_, 9 _ALL_. 0, or a host status after the host issued the error.
  int (*expandList)(HostDataSet* ds, std::string_view first, std::string_view second, int form,
                    std::vector<int>* numbers);

  // Compatibility of another data set with the analysis reader: 0 fits, nonzero otherwise.
  int (*verify)(HostDataSet* reader, HostDataSet* other);
  // 0 fits, 1 cannot be used, 2 usable with differences.
  int (*check)(HostDataSet* reader, HostDataSet* other);

  // Output data sets: create, carry source variables (a name already defined is not carried
  // again), add new ones (each with a value slot the caller fills before append; a name
  // already defined is refused), ready, append rows, close (renamed into place).
  HostDataSet* (*outCreate)(std::string_view name, int announcedVars, uint32_t* status);
  int (*outCarry)(HostDataSet* out, HostDataSet* source, const int* numbers, int count);
  int (*outVarAdd)(HostDataSet* out, const OutVarDefinition* def, void** valueSlot);
  int (*outReady)(HostDataSet* out);
  // The data set's label (kept with it and shown in the document of the run).
  int (*outLabel)(HostDataSet* out, std::string_view label);
  int (*append)(HostDataSet* out);
  int (*outClose)(HostDataSet* out, bool keep);
  // The processors the step lets the rows be written with, as its PERFORMANCE statement and
  // the host's options settle them; 1 writes them on the caller's thread. Before the first
  // append. A host that writes on one thread leaves it null.
  void (*outProcessors)(HostDataSet* out, int processors) = nullptr;
};

}  // namespace vsf
