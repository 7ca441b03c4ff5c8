// Our host: the session that runs program files step by step and offers the procedure the
// host vectors. Only app/ and host/ include this.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frame/host/host_vector.h"

namespace vsf::host {

// Bounds of the CPUCOUNT and MEMSIZE options: the procedure uses at most 1024 workers, and
// MEMSIZE megabytes must fit a byte count.
constexpr int kMaxCpuCount = 1024;
constexpr int64_t kMaxMemSizeMb = INT64_MAX >> 20;

// Host system options, from the command line and OPTIONS statements.
struct SystemOptions {
  bool threads = true;
  bool graphics = true;  // the output manager's answer to whether graphs are wanted
  int cpuCount = 0;      // 0: the machine's count
  std::string validVarName = "V7";
  std::string debug;
  std::filesystem::path utilPath;  // empty: the system's temporary directory
  int64_t memSizeMb = 0;           // 0: from the machine
  std::filesystem::path library = ".";
};

// One line of the log as it was written.
struct LogLine {
  std::string level;  // "NOTE", "WARNING", "ERROR", "" for plain lines
  std::string text;
  int step = 0;  // the step it was written in, 0 outside steps
};

// Thrown by hostEndStep; caught by the step runner.
struct StepEnd {
  int code;
};

class Log {
 public:
  // `ofGroup` false: a line of the run, not of the BY group running (a stream of the run lost).
  void write(std::string_view level, std::string_view text, bool ofGroup = true);
  const std::vector<LogLine>& lines() const { return lines_; }
  void setEcho(bool echo) { echo_ = echo; }
  // Whether the lines are kept for lines(): only the documents and the tests read them, and
  // a run of many BY groups writes a note or two in each.
  void keepLines(bool keep) { keep_ = keep; }
  // Whether step `step` (its lines are the last ones written) wrote a line of that level.
  bool stepWrote(int step, std::string_view level);
  // The BY line of the group running (empty: none): every note, warning and error written
  // while it runs, on any thread, names it first.
  void setGroup(std::string line);
  // The error of the write that lost the log (0: none): the lines after it are kept for the
  // documents only.
  int lost();
  // No line is written or kept after this: the interruption's lines are the log's last.
  void end();

 private:
  void add(std::string_view level, std::string shown);  // under the lock
  std::mutex mutex_;
  std::vector<LogLine> lines_;
  std::string group_;
  bool echo_ = true;
  bool keep_ = true;
  int lost_ = 0;
  bool ended_ = false;
  // The levels the last step that wrote a line wrote, kept or not.
  int levelStep_ = -1;
  std::vector<std::string> stepLevels_;
};

// An output data set as it was written: for the document of the run.
struct WrittenDataSet {
  std::string name, path, label;
  int64_t rows = 0;
  std::vector<std::pair<std::string, std::string>> variables;  // name, label
};

// The session: options, macro table, name/value store, log, the current step.
struct Session {
  SystemOptions options;
  Log log;
  std::map<std::string, std::string> macros;  // keys upper case
  std::string lastDataSet;
  std::vector<WrittenDataSet> written;
  // A step named a document's file as a data set: no later step runs and no document is
  // written.
  bool stopRun = false;
  // Per step.
  int stepNumber = 0;  // the step running, from 1; 0 between steps
  std::string stepText;
  int stepLine = 0;
  int64_t systemMemory = 0;  // what the system reported available as the step began (0: unread)
  // While a step's statements are parsed: where the parser stands ("Line 3, column 9") and the
  // data set whose variables it resolves; messages issued meanwhile say so.
  std::function<std::string()> parsePlace, parseDataSet;
  void* procContext = nullptr;
  void (*terminate)() = nullptr;
  int stepCode = 0;
  bool byGroups = false;  // the step reads its input by BY group
  // The threads the step's PERFORMANCE statement allows (0: it says nothing of them), read
  // before the step's data sets are opened.
  int performanceThreads = 0;
  // The step ran short of memory: its end names the outputs not written and the way out.
  std::atomic<bool> shortOfMemory = false;
  void (*procedureEntry)() = nullptr;  // from the loaded module's descriptor
};

Session& session();
// The threads the host's own work of the step may take (the check of a CSV file, blocks read
// ahead, an output's formatting): the step's PERFORMANCE statement's count, else the host
// options' (1 without threads), never more than the machine has.
int hostThreads();
// Bytes the process may still map under its limits on address space and data (`ulimit -v`,
// `ulimit -d`), which the memory the system reports knows nothing of; -1 without such a limit.
int64_t mappingRoomLeft();
// Bytes the step may use: the MEMSIZE option, else the memory the system reports available
// (half the machine's when it does not say).
int64_t memoryAvailable();

extern const KernelVector kKernel;
extern const HostDsFamily kDsFamily;        // host/data
extern const HostParseFamily kParseFamily;  // host/parse
HostObject* outputRoot();                   // host/output

// The host vector handed to mcn_main.
const HostVector* hostVector();

// Takes the procedure entry from the module descriptor that the version record leads to;
// false, with the reason, when the record leads to no descriptor of this host's boundary.
bool loadModule(const VersionRecord& record, std::string* error);

// Runs one procedure step over the step's text; returns its code, at least 4 (the warning
// code) when the step wrote a warning to the log.
int runStep(const std::string& text, int line);

// Name/value store, filled at start from the machine and the environment.
void initNameValueStore(int cpuCount);

// Pools created ("+name") and destroyed ("-name") since the last call, in order, while the log
// is kept (from keepPoolLog(true) on; it starts empty).
void keepPoolLog(bool keep);
std::vector<std::string> takePoolLog();

// Message catalogue.
struct CatalogueEntry {
  char level;  // 'N' note, 'W' warning, 'E' error, 'T' text (titles, labels)
  std::string text;
  std::string plain;  // the text as shown without insertions: the tables' labels, made once
};
const CatalogueEntry* findMessage(int set, int number);
std::string formatMessage(std::string_view text, const MsgArg* args, int count);

}  // namespace vsf::host
