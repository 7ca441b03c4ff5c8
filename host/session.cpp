// The session and the host families of the procedure environment, macro variables, string
// handles, core services and value scratch files; the step runner.
#include "host/session.h"

#include <fmt/format.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#include "host/data/data.h"
#include "host/files.h"
#include "host/log_text.h"
#include "host/output/output.h"
#include "host/progress.h"
#include "host/standard_streams.h"
#include "host/text_table.h"
#include "host/util_directory.h"

namespace vsf {

struct HostString {
  std::string text;
};

struct HostScratch {
  FILE* file = nullptr;
  std::string path;
};

namespace host {

Session& session() {
  static Session s;
  return s;
}

// Every message passes here: what it shows names the BY group that runs, and is valid UTF-8
// and of a readable length, in the log and in the documents that repeat it.
void Log::write(std::string_view level, std::string_view message, bool ofGroup) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) return;
  std::string shown = level.empty() || group_.empty() || !ofGroup
                          ? logText(message)
                          : logText(fmt::format("BY group {}: {}", group_, message));
  if (echo_ && lost_ == 0) {
    clearProgress();
    // The listing written so far comes first where the two reach one place; the listing's
    // failure there is told before this line.
    StandardBuffer* listing = listingBuffer();
    int failed = 0;
    if (listing && listingBesideLog() && !listing->flush() && listing->takeFailure(&failed))
      add("ERROR", listingLostText(failed));
  }
  add(level, std::move(shown));
}

// Writes the line and keeps it. A line the log cannot take (a full disk, a closed descriptor)
// ends its writes; the documents that repeat the log say why.
void Log::add(std::string_view level, std::string shown) {
  int failed = 0;
  if (echo_ && lost_ == 0) {
    failed = writeStandard(STDERR_FILENO,
                           level.empty() ? shown + "\n" : fmt::format("{}: {}\n", level, shown));
    lost_ = failed;
  }
  const int step = session().stepNumber;
  if (step != levelStep_) {
    levelStep_ = step;
    stepLevels_.clear();
  }
  if (std::find(stepLevels_.begin(), stepLevels_.end(), level) == stepLevels_.end())
    stepLevels_.emplace_back(level);
  if (keep_) lines_.push_back(LogLine{std::string(level), std::move(shown), step});
  if (failed != 0) add("ERROR", logLostText(failed));
}

void Log::setGroup(std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  group_ = std::move(line);
}

void Log::end() {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
}

int Log::lost() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lost_;
}

bool Log::stepWrote(int step, std::string_view level) {
  std::lock_guard<std::mutex> lock(mutex_);
  return step == levelStep_ &&
         std::find(stepLevels_.begin(), stepLevels_.end(), level) != stepLevels_.end();
}

namespace {

// A step's strings, one a text: the procedure asks for the same titles, names and labels in
// every BY group, and a string a request would hold them for the rest of the step.
std::deque<HostString> gStepStrings;
TextTable<HostString*> gStringOf;  // views of gStepStrings' texts
// The string last given for a text at each of a few places in memory: the procedure passes the
// same names from the same places in every group, and bytes compared cost less than a hash.
struct RecentString {
  const char* at = nullptr;
  HostString* string = nullptr;
};
std::array<RecentString, 512> gRecentStrings;

constexpr int kCharacterInEffect = 8;  // of set 174
constexpr int kVarNotFound = 6;        // of set 174
constexpr int kShortOfMemory = 140;    // of set 848

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return u;
}

// ---- Procedure environment ----
void endStep(int code, int) {
  session().stepCode = code;
  throw StepEnd{code};
}

std::string levelOf(char level) {
  switch (level) {
    case 'E':
      return "ERROR";
    case 'W':
      return "WARNING";
    case 'N':
      return "NOTE";
    default:
      return "";
  }
}

// A message's text with the parse's place in front of errors and warnings, "{data}" as the
// data set the statements read and "{skip}" as what a failed group costs (without a BY
// statement the one group is the whole fit). The log names the BY group.
std::string placed(char level, std::string text) {
  const Session& s = session();
  if (size_t at = text.find("{data}"); at != std::string::npos)
    text.replace(at, 6, s.parseDataSet ? s.parseDataSet() : "the input data set");
  if (size_t at = text.find("{skip}"); at != std::string::npos)
    text.replace(at, 6, s.byGroups ? "the BY group is skipped" : "no model is fitted");
  if ((level == 'E' || level == 'W') && s.parsePlace) text = s.parsePlace() + ": " + text;
  return text;
}

void msg(int set, int number, const MsgArg* args, int count) {
  const CatalogueEntry* e = findMessage(set, number);
  if (!e) {
    // An entry we have no text for still says which message it was and what it carried.
    std::string text = fmt::format("Message {}-{}", set, number);
    for (int i = 0; i < count; ++i) text += " " + formatMessage("{1}", &args[i], 1);
    session().log.write("NOTE", text);
    return;
  }
  std::string text = formatMessage(e->text, args, count);
  if (set == 848 && number == kShortOfMemory) session().shortOfMemory = true;
  // A variable in an effect that a stray text among its numbers made character: mending the
  // cell comes before CLASS.
  if (set == 174 && number == kCharacterInEffect && count > 0) {
    const std::string variable = formatMessage("{1}", args, 1);
    if (std::string hint = strayCellHint(variable); !hint.empty())
      text = fmt::format(
          "The variable {} is not numeric: {}; if {} is a classification variable, list it in "
          "the CLASS statement.",
          variable, hint, variable);
  }
  // A name that names no variable: why, and what the data set calls it.
  if (set == 174 && number == kVarNotFound && count > 0 && text.ends_with('.'))
    if (std::string hint = unfoundNameHint(formatMessage("{1}", args, 1)); !hint.empty())
      text.back() = ':', text += " " + hint + ".";
  session().log.write(levelOf(e->level), placed(e->level, text));
}

std::string msgText(int set, int number, const MsgArg* args, int count) {
  const CatalogueEntry* e = findMessage(set, number);
  if (!e) return fmt::format("{}-{}", set, number);
  return count == 0 ? e->plain : formatMessage(e->text, args, count);
}

void logPrintf(std::string_view line) { session().log.write("", line); }

void reportRc(int, uint32_t status) {
  session().log.write(
      "ERROR", fmt::format("The output system refused a request (status 0x{:08X}).", status));
}

void diagText(std::string_view text) { session().log.write("ERROR", text); }

bool optionText(std::string_view name, std::string* value) {
  const SystemOptions& o = session().options;
  std::string n = upper(name);
  if (n == "THREADS")
    *value = o.threads ? "1" : "0";
  else if (n == "CPUCOUNT")
    *value = std::to_string(o.cpuCount);
  else if (n == "VALIDVARNAME")
    *value = o.validVarName;
  else if (n == "DEBUG")
    *value = o.debug;
  else
    return false;
  return true;
}

void onTerminate(void (*callback)()) { session().terminate = callback; }
void setProcContext(void* context) { session().procContext = context; }
void* procContext() { return session().procContext; }
HostPool* heapNew(int, int, uint32_t flags) { return kKernel.poolCreate("heap", flags); }
void heapFree(HostPool* heap) { kKernel.poolDestroy(heap); }

const HostProcFamily kProc = {endStep,  msg,        msgText,           logPrintf,      reportRc,
                              diagText, optionText, onTerminate,       setProcContext, procContext,
                              heapNew,  heapFree,   runCallbackRequest};

// ---- Macro variables ----
int macroSetNum(std::string_view name, double value, char) {
  std::string text = value == static_cast<double>(static_cast<long long>(value))
                         ? std::to_string(static_cast<long long>(value))
                         : fmt::format("{}", value);
  session().macros[upper(name)] = text;
  return 0;
}

int macroSetText(std::string_view name, std::string_view value) {
  session().macros[upper(name)] = std::string(value);
  return 0;
}

bool macroGet(std::string_view name, std::string* value) {
  auto it = session().macros.find(upper(name));
  if (it == session().macros.end()) return false;
  *value = it->second;
  return true;
}

bool macroGetNum(std::string_view name, double* value) {
  std::string t;
  if (!macroGet(name, &t)) return false;
  char* end = nullptr;
  *value = std::strtod(t.c_str(), &end);
  return end && end != t.c_str();
}

const HostMacroFamily kMacro = {macroSetNum, macroSetText, macroGet, macroGetNum};

// ---- String handles, alive until the end of the step ----
HostString* strFromBytes(std::string_view text) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(text.data());
  RecentString& recent = gRecentStrings[((at >> 3) ^ text.size()) % gRecentStrings.size()];
  if (recent.at == text.data() && recent.string->text == text) return recent.string;
  HostString* s;
  if (HostString** held = gStringOf.find(text)) {
    s = *held;
  } else {
    s = &gStepStrings.emplace_back(HostString{std::string(text)});
    gStringOf.add(s->text, s);
  }
  recent = RecentString{text.data(), s};
  return s;
}
HostString* strFromMsg(int set, int number) {
  return strFromBytes(msgText(set, number, nullptr, 0));
}
HostString* strFromMsgArgs(int set, int number, const MsgArg* args, int count) {
  return strFromBytes(msgText(set, number, args, count));
}
std::string_view strText(const HostString* s) { return s ? std::string_view(s->text) : ""; }

const HostStrFamily kStr = {strFromBytes, strFromMsg, strFromMsgArgs, strText};

// ---- Core ----
double clock() {
  TimingRecord t;
  kKernel.systemQuery(kQueryInfo, &t, kQueryTiming);
  return t.now - t.base;
}

int64_t memAvail() { return memoryAvailable(); }

// VSF_TIME_OF_DAY (seconds after midnight) stands for the clock, so that runs whose seeds
// come from it can be repeated: tools/same-outputs.sh compares two builds' runs so.
double timeOfDay() {
  if (const char* fixed = std::getenv("VSF_TIME_OF_DAY"); fixed && *fixed)
    return std::strtod(fixed, nullptr);
  time_t now = ::time(nullptr);
  struct tm local;
  ::localtime_r(&now, &local);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
}

const HostCoreFamily kCore = {clock, memAvail, timeOfDay, outputRoot, takeFileFailure};

// ---- Scratch files of 8-byte values ----
HostScratch* scratchOpen() {
  std::string path;
  FILE* f = anonymousFile(&path);
  if (!f) return nullptr;
  return new HostScratch{f, path};
}
int scratchWrite(HostScratch* s, const double* v, int64_t n) {
  if (std::fwrite(v, 8, static_cast<size_t>(n), s->file) == static_cast<size_t>(n)) return 0;
  return fileFailed(s->path, 'w');
}
// The end of what was written is no failure of the file: its readers read up to it.
int scratchRead(HostScratch* s, double* v, int64_t n) {
  const size_t got = std::fread(v, 8, static_cast<size_t>(n), s->file);
  if (got == static_cast<size_t>(n)) return 0;
  if (std::ferror(s->file)) return fileFailed(s->path, 'r');
  return got == 0 ? -1 : fileShorter(s->path);
}
// A seek writes what the stream still holds: a full disk may say so only here.
int scratchSeek(HostScratch* s, int64_t position) {
  if (std::fseek(s->file, static_cast<long>(position * 8), SEEK_SET) == 0) return 0;
  return fileFailed(s->path, 'w');
}
int scratchRewind(HostScratch* s) { return scratchSeek(s, 0); }
void scratchClose(HostScratch* s) {
  if (!s) return;
  std::fclose(s->file);
  delete s;
}

const HostVarIOFamily kVarIO = {scratchOpen, scratchWrite,  scratchRead,
                                scratchSeek, scratchRewind, scratchClose};

const HostVector kVector = {&kDsFamily, &kProc, &kParseFamily, &kMacro,
                            &kStr,      &kCore, &kVarIO,       &kKernel};

void runTerminate() {
  auto cb = session().terminate;
  session().terminate = nullptr;
  if (cb) cb();
}

// What the system says it can give without swapping: on an idle machine more than half its
// memory, so that the stored rows of a large data set stay in memory as a reader's table
// would; on a busy one less.
int64_t systemMemoryAvailable() {
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[128];
    long long kb = -1;
    while (kb < 0 && std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "MemAvailable: %lld kB", &kb) != 1) kb = -1;
    std::fclose(f);
    if (kb > 0) return static_cast<int64_t>(kb) * 1024;
  }
  long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<int64_t>(pages) * size / 2 : int64_t{1} << 30;
}

// Without MEMSIZE= a step plans by the memory the system reports, which knows nothing of an
// address-space limit: fewer threads, or a MEMSIZE= within what the run may take, plan less.
std::string memoryWayOut() {
  return fmt::format(
      "The step needs less memory {}under a MEMSIZE= (--memsize) below what the run may take.",
      hostThreads() > 1 ? "on fewer threads (CPUCOUNT= or --cpucount) or " : "");
}

}  // namespace

const HostVector* hostVector() { return &kVector; }

bool loadModule(const VersionRecord& record, std::string* error) {
  const auto* d = static_cast<const ModuleDescriptor*>(record.words[0]);
  if (!d || !d->procedureEntry) {
    *error = "the module has no procedure entry";
    return false;
  }
  if (d->boundaryVersion != kBoundaryVersion) {
    *error = fmt::format("the module {} was built for host interface {}, this host has {}",
                         d->moduleName ? d->moduleName : "?", d->boundaryVersion, kBoundaryVersion);
    return false;
  }
  session().procedureEntry = d->procedureEntry;
  return true;
}

int runStep(const std::string& text, int line) {
  Session& s = session();
  s.stepText = text;
  s.stepLine = line;
  s.systemMemory = systemMemoryAvailable();
  s.stepCode = 0;
  s.byGroups = false;
  s.performanceThreads = 0;
  s.shortOfMemory = false;
  s.log.setGroup("");
  s.procContext = nullptr;
  s.terminate = nullptr;
  int code = 0;
  // The one guard of the procedure: the step end, the numeric faults and memory.
  try {
    if (!s.procedureEntry) throw StepEnd{step::kInternal};
    // Any step may page its rows or rewrite a data set there: found before it starts, not as
    // a file it cannot make halfway.
    if (const std::string fault = utilDirectoryFault(); !fault.empty()) {
      s.log.write("ERROR", fault);
      throw StepEnd{step::kHistory};
    }
    s.procedureEntry();
    code = s.stepCode;
  } catch (const StepEnd& e) {
    code = e.code;
  } catch (const NumericFault& f) {
    s.log.write("ERROR", fmt::format("An arithmetic fault (0x{:08X}) ended the step.", f.code()));
    code = code > step::kInternal ? code : step::kInternal;
  } catch (const std::bad_alloc&) {
    msg(848, 140, nullptr, 0);
    code = step::kMemory;
  }
  try {
    runTerminate();
  } catch (const StepEnd&) {
  }
  // A step that ended inside a BY group: what follows is the step's, not the group's.
  s.log.setGroup("");
  // A step whose own files failed (a full UTILPATH) or that ran short of memory names the
  // output data sets it could not write, as an interrupted run does.
  if (stepFileFailed() || s.shortOfMemory)
    for (const std::string& line : unwrittenOutputs()) s.log.write("NOTE", line);
  if (s.shortOfMemory) s.log.write("NOTE", memoryWayOut());
  s.procContext = nullptr;
  closeStepDataSets();
  removeStepFiles();
  gRecentStrings.fill(RecentString());
  gStringOf.clear();
  gStepStrings.clear();
  // One rule for every warning, whoever wrote it (a reader, the data, the host, the macro
  // resolution of the step's text): the log is the one place they all pass.
  if (code < step::kWarning && s.stepNumber > 0 && s.log.stepWrote(s.stepNumber, "WARNING"))
    code = step::kWarning;
  return code;
}

int64_t mappingRoomLeft() {
  auto limit = [](int resource) {
    struct rlimit r;
    return ::getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY
               ? int64_t{-1}
               : static_cast<int64_t>(std::min<rlim_t>(r.rlim_cur, INT64_MAX));
  };
  const int64_t space = limit(RLIMIT_AS), data = limit(RLIMIT_DATA);
  if (space < 0 && data < 0) return -1;
  const long page = ::sysconf(_SC_PAGE_SIZE);
  long long mapped = 0, written = 0;  // pages mapped, and those of data and stacks
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  const bool read = std::fscanf(f, "%lld %*d %*d %*d %*d %lld", &mapped, &written) == 2;
  std::fclose(f);
  if (!read || page <= 0) return -1;
  int64_t room = INT64_MAX;
  if (space >= 0) room = std::min<int64_t>(room, space - mapped * page);
  if (data >= 0) room = std::min<int64_t>(room, data - written * page);
  return std::max<int64_t>(room, 0);
}

int hostThreads() {
  const Session& s = session();
  const int machine = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const int n = s.performanceThreads > 0 ? s.performanceThreads
                : !s.options.threads     ? 1
                : s.options.cpuCount > 0 ? s.options.cpuCount
                                         : machine;
  return std::min(n, machine);
}

int64_t memoryAvailable() {
  const Session& s = session();
  if (s.options.memSizeMb > 0) return s.options.memSizeMb * 1024 * 1024;
  // Read once a step: the plan of every BY group and every table opened see the same memory,
  // and a step of many small groups does not read the system's file for each.
  return s.systemMemory > 0 ? s.systemMemory : systemMemoryAvailable();
}

}  // namespace host
}  // namespace vsf
