// The host's data-set objects behind the opaque handles of frame/host/dataset.h.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "frame/host/dataset.h"
#include "frame/host/status.h"
#include "host/data/ordered_writer.h"
#include "host/data/table.h"
#include "host/whole_file.h"

namespace vsf {

struct HostDataSet {
  explicit HostDataSet(int d) : direction(d) {}
  virtual ~HostDataSet() = default;
  const int direction;  // kDsInput or kDsOutput
  std::string name;     // as shown in messages: WORK.NAME or the path
};

// A variable bound to the caller's buffer.
struct HostBinding {
  int var = 0;
  void* dest = nullptr;
  int length = 0;
  int type = kBindNumeric;
};

struct HostBindList {
  HostDataSet* owner = nullptr;
  int announced = 0;
  std::vector<HostBinding> items;
};

}  // namespace vsf

namespace vsf::host {

struct ByVar {
  int var = 0;
  bool text = false;
  bool descending = false;
};

// The BY values of one observation.
struct ByKey {
  std::vector<double> numbers;
  std::vector<std::string> texts;
};

// The BY values of a row of the cursor's block, for the listed BY variables.
ByKey keyOfRow(const std::vector<ByVar>& by, const BlockCursor& cursor, uint32_t row);

// An order of BY keys for looking them up (not the BY order: DESCENDING plays no part).
struct ByKeyLess {
  bool operator()(const ByKey& a, const ByKey& b) const;
};

// Observations [first, end) of a data set.
struct ObsRun {
  int64_t first = 0, end = 0;
};

// A data set read by another reader's BY groups (verify): where each BY key's observations
// lie, as runs in the data set's order, and the runs of the group it is kept to.
struct ByMatch {
  std::vector<ByVar> by;  // the reader's BY variables as variables of this data set
  std::map<ByKey, std::vector<ObsRun>, ByKeyLess> runs;
  const std::vector<ObsRun>* group = nullptr;  // null: the whole data set is read
  size_t run = 0;                              // the run `next` lies in or before
  std::vector<ObsRun> own;  // a NOTSORTED group's one run, when `group` points here
};

struct InputDataSet final : HostDataSet {
  explicit InputDataSet(std::shared_ptr<const Table> t)
      : HostDataSet(kDsInput), table(std::move(t)), cursor(table.get()) {
    next = groupStart = positionOf(*table, 0);
  }
  std::shared_ptr<const Table> table;
  BlockCursor cursor;
  TablePos next;     // the next observation readNext delivers
  TablePos current;  // the current observation, when haveCurrent
  bool haveCurrent = false;
  char readMode = 'B';
  // BY groups.
  std::vector<ByVar> by;
  bool notSorted = false;
  std::shared_ptr<const std::vector<int64_t>> groupStarts;  // each group's first observation
  int64_t groups = 0;                                       // groups positioned so far
  TablePos groupStart;
  int64_t groupEnd = 0;  // the observation after the current group
  ByKey groupKey;
  // Under NOTSORTED: how many groups before the current one had its BY values, and the count
  // of groups so far per BY values.
  int64_t groupOccurrence = 0;
  std::map<ByKey, int64_t, ByKeyLess> keyGroups;
  // Kept to another reader's BY group (verify); null when read whole.
  std::unique_ptr<ByMatch> match;
  // Bound reads.
  std::deque<HostBindList> bindLists;
  const HostBindList* bound = nullptr;
};

// A variable of an output data set: carried from a source or new with its value slot.
struct OutVar {
  std::string name;
  std::string label;
  int type = kVarNumeric;
  int length = 8;
  HostDataSet* source = nullptr;  // carried from
  int sourceVar = -1;
  double number = 0;
  std::vector<char> chars;
  bool dropped = false;  // replaced by a computed variable of the same name
  // Carried from a number column some of whose values have digits a double does not hold:
  // written as texts, those values as the file wrote them.
  bool asWritten = false;
};

// Rows kept as values until a worker formats them as text: the numbers, and the character
// values one after another with their ends, in the order of the data set's variables.
struct RowValues {
  std::vector<double> numbers;
  std::string texts;
  std::vector<uint32_t> textEnds;
  int64_t rows = 0;
};

// What a row of an output holds: its numbers, its texts and their most characters.
struct RowShape {
  size_t numbers = 0, texts = 0, chars = 0;
};

struct OutputDataSet final : HostDataSet {
  OutputDataSet() : HostDataSet(kDsOutput) {}
  ~OutputDataSet() override;
  std::filesystem::path finalPath;  // as named; `file` says where the bytes go
  WholeFile file;                   // opened at the first write
  std::string reopenName;
  std::string label;
  bool ready = false;
  int error = 0;            // the errno of the first write that failed
  std::deque<OutVar> vars;  // a deque keeps the value slots where they are
  // Where each variable not dropped stands in `vars`, by its upper-cased name: the thousands a
  // wide data set carries are each checked against the others at once.
  std::unordered_map<std::string, size_t> byName;
  std::string buffer;
  int64_t rows = 0;
  // The kind of each written variable (1 number, 2 text), the rows being gathered, what a row
  // holds and how the rows go in blocks, and the writer the gathered blocks go to (made at the
  // first block).
  std::vector<uint8_t> kinds;
  RowValues block;
  RowShape shape;
  BlockPlan plan;
  std::unique_ptr<OrderedWriter> writer;
  int processors = 0;  // the step's, when it said; else the host's options
};

// ---- Names (names.cpp) ----
struct DataSetName {
  std::string shown;   // WORK.NAME or the path
  std::string reopen;  // for lastName(): opens the same data set
  std::filesystem::path path;
};
// Resolves a data-set name to its file; false and the error's text when it cannot.
bool resolveName(std::string_view name, DataSetName* out, std::string* error);
// The same, issuing the error and setting *status (when given) for a name that does not resolve.
bool resolveOrReport(std::string_view name, DataSetName* out, uint32_t* status);

// ---- Step registry (registry.cpp) ----
void registerDataSet(HostDataSet* ds);
void forgetDataSet(HostDataSet* ds);
// The imported copy of the file, imported now unless this step has it already.
std::shared_ptr<const Table> stepTable(const DataSetName& name, std::string* error);
// Claims the file of an output data set for this step; false and the error's text when the
// step reads that data set or writes it already, a document of the run is written to it, or it
// is the program file or a file among the graphs' files of --svg.
bool claimOutput(const std::string& shown, const std::filesystem::path& file, std::string* error);
// True, with the error's text, when the step may not read that data set: an output of the
// step still being written, or the file of one of the run's documents.
bool refusedInput(const std::string& shown, const std::filesystem::path& file, std::string* error);
// The output data set's file was put in place, written whole.
void keptOutput(const std::filesystem::path& file);
// A file was replaced: drop the step's copy of it.
void forgetTable(const std::filesystem::path& path);
// Outputs carrying values from the input that is closing stop doing so.
void detachSource(HostDataSet* source);

// ---- Errors ----
// Issues the error and ends the step with code 1012; does not return. The workers of a pass
// that meet the same fault end the step each, and the step says it once. `ofGroup` false: the
// error is the step's (an output data set's), not the BY group's that was running.
[[noreturn]] void failStep(const std::string& text, bool ofGroup = true);
// Forgets the errors failStep issued: the next step says them again.
void forgetStepFailures();
void issueError(const std::string& text, bool ofGroup = true);

// ---- Input data sets (reader.cpp, values.cpp, varlist.cpp) ----
InputDataSet* asInput(HostDataSet* ds);
HostDataSet* openInput(std::string_view name, uint32_t* status);
void closeInput(InputDataSet* in);
int setBy(HostDataSet* ds, const ByVariable* vars, int count, bool notSorted);
int setupGroups(HostDataSet* ds);
int nextByGroup(HostDataSet* ds);
int setMode(HostDataSet* ds, char mode);
int start(HostDataSet* ds);
int readNext(HostDataSet* ds);
HostDataSet* cloneReader(HostDataSet* ds);
int seekObs(HostDataSet* ds, int64_t k);
// The variable's number, -1 when the table has none of the name (in any case).
int findVariable(const Table& t, std::string_view name);
int findVar(HostDataSet* ds, std::string_view name, int* number);
int varByNumber(HostDataSet* ds, int number, VarDescriptor* out);
int attr(HostDataSet* ds, int code, void* out);
double getNum(HostDataSet* ds, int number);
std::string_view getChar(HostDataSet* ds, int number);
const double* const* currentNumbers(HostDataSet* ds, uint32_t* row);
void keepParsed(HostDataSet* ds, int mode);
std::string getFormatted(HostDataSet* ds, int number);
// The current observation's value of a number column as the file wrote it, where the column
// keeps its texts (kReadDigits); empty otherwise.
std::string_view numberAsRead(HostDataSet* ds, int number);
HostBindList* bindBegin(HostDataSet* ds, int count);
int bindVar(HostBindList* list, int number, void* dest, int length, int bindType);
int bindEnd(HostBindList* list);
void copyBound(InputDataSet* in);
// Another data set against the reader's BY variables (by_match.cpp). check: 0 when it has them
// all with their types (or the reader has none), 2 when it lacks one, 1 (after an error naming
// the variable) when one is of the other type. verify: keeps the other data set's reads to the
// observations of the reader's current BY group, in its own order (all of them when either
// has no BY variables); 0, or 1 when it cannot.
int verify(HostDataSet* reader, HostDataSet* other);
int check(HostDataSet* reader, HostDataSet* other);
// Moves the next observation of a data set kept to a BY group onto that group's runs; false
// past the last one.
bool onMatchedRun(InputDataSet* in);
int expandList(HostDataSet* ds, std::string_view first, std::string_view second, int form,
               std::vector<int>* numbers);

// ---- Output data sets (writer.cpp) ----
OutputDataSet* asOutput(HostDataSet* ds);
HostDataSet* outCreate(std::string_view name, int announcedVars, uint32_t* status);
int outCarry(HostDataSet* out, HostDataSet* source, const int* numbers, int count);
int outVarAdd(HostDataSet* out, const OutVarDefinition* def, void** valueSlot);
int outReady(HostDataSet* out);
int outLabel(HostDataSet* out, std::string_view label);
int append(HostDataSet* out);
int outClose(HostDataSet* out, bool keep);
void outProcessors(HostDataSet* out, int processors);

}  // namespace vsf::host
