// The data sets of the current step and the step's binary copies. Everything left at the
// end of a step is closed here: unclosed outputs are discarded, copies deleted. The files a
// step reads and writes are checked here against each other and against the run's documents.
#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "frame/host/values.h"
#include "host/data/csv_import.h"
#include "host/data/csv_number.h"
#include "host/data/data.h"
#include "host/data/dataset_internal.h"
#include "host/data/parallel.h"
#include "host/session.h"
#include "host/util_directory.h"
#include "host/whole_file.h"

namespace vsf::host {

namespace {

struct CachedTable {
  std::shared_ptr<const Table> table;
  int64_t size = 0;
  int64_t modified = 0;  // nanoseconds
};

// An output data set of the step: its name, the file it writes and whether that file is
// in place, written whole.
struct StepOutput {
  std::string shown;
  std::filesystem::path file;
  bool kept = false;
};

// A document of the run: the option naming it, the file it goes to (links followed).
struct Document {
  DocumentTarget target;
  std::filesystem::path file;
  bool written = false;
};

std::mutex gMutex;
std::vector<HostDataSet*> gOpen;
std::map<std::string, CachedTable> gTables;  // by the file's absolute path

// Held only for a look at the two lists below, never while reading a file: the clean-up of an
// interrupted run takes it whatever the step is waiting for.
std::mutex gTargetMutex;
std::vector<StepOutput> gOutputs;  // every output the step made, closed ones too
std::vector<Document> gDocuments;  // kept from before the first step
// Every data set the run has read or written, by its file's absolute path: the name it had.
std::map<std::string, std::string> gRunDataSets;
std::set<std::pair<dev_t, ino_t>> gGraphFiles;  // the graphs' files written
// The program the run reads, which no output may replace: its file, or the file behind
// standard input, known by its device and inode.
struct ProgramFile {
  std::filesystem::path path;  // empty for standard input
  std::string shown;           // as messages name it
  bool known = false;          // dev and ino are the file's
  dev_t dev = 0;
  ino_t ino = 0;
};
ProgramFile gProgram;

bool fileStamp(const std::filesystem::path& p, int64_t* size, int64_t* modified) {
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return false;
  *size = st.st_size;
  *modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

std::string tableKey(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::path a = std::filesystem::absolute(p, ec);
  return (ec ? p : a).lexically_normal().string();
}

// One file under two names: the same device and inode when both exist, else the same path
// with its links followed.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat sa, sb;
  const bool ea = ::stat(a.c_str(), &sa) == 0, eb = ::stat(b.c_str(), &sb) == 0;
  if (ea && eb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (ea != eb) return false;
  // Absolute first: a name none of whose parts exists stays as written otherwise ("x" and "./x").
  auto canonical = [](const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::path c = std::filesystem::absolute(p, ec);
    if (!ec) c = std::filesystem::weakly_canonical(c, ec);
    return (ec ? p : c).lexically_normal();
  };
  return canonical(a) == canonical(b);
}

// A data set whose file a document is written to: the error says so, and the run stops after
// this step (the document would replace the data set, or the data set the document).
bool isDocument(const std::string& shown, const std::filesystem::path& file, std::string* error) {
  for (const Document& d : gDocuments)
    if (!d.target.directory && sameFile(d.file, file)) {
      *error = fmt::format(
          "Data set {} is the file {} that {} writes the run's document to: name another file "
          "for the document. The run stops after this step and writes no document.",
          shown, d.target.path, d.target.option);
      session().stopRun = true;
      return true;
    }
  return false;
}

// The data set of the library whose file this is ("WORK.O" for lib/o.csv); empty for a file
// no data-set name stands for.
std::string libraryMember(const std::filesystem::path& file) {
  if (!equalsNoCase(file.extension().string(), ".csv")) return "";
  DataSetName name;
  std::string error;
  if (!resolveName(file.stem().string(), &name, &error) || !sameFile(name.path, file)) return "";
  return name.shown;
}

// Whether the file lies among the graphs' files of the document's directory, whose names it
// may take.
bool amongGraphs(const std::filesystem::path& f, const Document& dir) {
  return dir.target.directory && f.extension() == ".svg" &&
         sameFile(f.has_parent_path() ? f.parent_path() : ".", dir.file);
}

// Whether the file is the program the run reads, which no output may replace.
bool isProgram(const std::filesystem::path& file) {
  struct stat st;
  if (gProgram.known && ::stat(file.c_str(), &st) == 0)
    return st.st_dev == gProgram.dev && st.st_ino == gProgram.ino;
  return !gProgram.path.empty() && sameFile(file, gProgram.path);
}

ProgramFile programFile(const std::string& program) {
  ProgramFile p;
  struct stat st;
  if (program == "-") {
    p.shown = "read from standard input";
    p.known = ::fstat(0, &st) == 0;
  } else {
    p.path = program;
    p.shown = program;
    p.known = ::stat(program.c_str(), &st) == 0;
  }
  if (p.known) p.dev = st.st_dev, p.ino = st.st_ino;
  return p;
}

// An output data set whose file is the program file or may be a graph's: the error names both.
bool takesRunFile(const std::string& shown, const std::filesystem::path& file, std::string* error) {
  if (isProgram(file)) {
    *error = fmt::format(
        "Data set {} is the program file {}: name another file for the output data set.", shown,
        gProgram.shown);
    return true;
  }
  for (const Document& d : gDocuments)
    if (amongGraphs(file, d)) {
      *error = fmt::format(
          "Data set {} is the file {} in the directory of {}, where the graphs' files are "
          "written: name another file for the output data set.",
          shown, file.string(), d.target.option);
      return true;
    }
  return false;
}

// Adds an item to a list the log shows ("WORK.O (lib/o.csv), the document of --json (x)").
void listTarget(std::string* list, const std::string& item) {
  *list += (list->empty() ? "" : ", ") + item;
}

// The first value that made a column of mostly numbers character, and where it is.
std::string strayValue(const TableVar& v, const std::string& file) {
  return fmt::format("\"{}\" on line {} of {}", v.strayText, v.strayLine, file);
}

// Where the file of a data set that does not exist lies in a directory that does not either:
// ": the library directory DIR (--lib) does not exist", or the same of a path's directory.
std::string missingDirectory(const DataSetName& name) {
  std::filesystem::path dir = name.path.parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return "";
  const bool library = dir == session().options.library;
  return fmt::format(": {} {} {}", library ? "the library directory" : "the directory",
                     dir.string(), library ? "(--lib) does not exist" : "does not exist");
}

// What the reader made of a file written otherwise than plainly: its separator, a column of
// row names, columns turned character by a few texts.
void noteHowRead(const Table& table, const DataSetName& name) {
  const std::string file = name.path.string();
  const MarkedNumber& point = table.dialect.marks.point;
  if (table.dialect.separator == ';' && table.dialect.decimalComma)
    session().log.write("NOTE", fmt::format("Data set {} is read with \";\" between values and "
                                            "\",\" as the decimal mark: the first line of {} "
                                            "has \";\" and no \",\".",
                                            name.shown, file));
  else if (table.dialect.separator == ';')
    session().log.write(
        "NOTE", fmt::format("Data set {} is read with \";\" between values and \".\" as the "
                            "decimal mark: the first line of {} has \";\" and no \",\", and its "
                            "numbers are written with a decimal point (\"{}\" on line {}).",
                            name.shown, file, point.value, point.line));
  else if (table.dialect.separator == '\t')
    session().log.write("NOTE", fmt::format("Data set {} is read with tabs between values: the "
                                            "first line of {} has tabs and no \",\".",
                                            name.shown, file));
  if (table.rowNames == RowNames::kEmptyName)
    session().log.write("NOTE", fmt::format("The first variable of data set {} has no name on the "
                                            "first line of {} (R's write.csv writes row names "
                                            "so); it is read as {}.",
                                            name.shown, file, table.vars.front().name));
  else if (table.rowNames == RowNames::kShortHeader)
    session().log.write(
        "NOTE", fmt::format("The first line of {} names one variable fewer than its rows hold "
                            "values (R's write.table writes row names so): the first value of "
                            "each row is read as variable {} of data set {}.",
                            file, table.vars.front().name, name.shown));
  if (!table.blankedNames.empty()) {
    std::string names;
    constexpr size_t kShown = 5;
    for (size_t k = 0; k < std::min(kShown, table.blankedNames.size()); ++k)
      listTarget(&names, "\"" + table.blankedNames[k] + "\"");
    if (table.blankedNames.size() > kShown)
      names += fmt::format(" and {} more", table.blankedNames.size() - kShown);
    session().log.write(
        "NOTE", fmt::format("The first line of {} writes blanks around the names {}: the names "
                            "of data set {} are read without them.",
                            file, names, name.shown));
  }
  for (const TableVar& v : table.vars)
    if (!v.writtenName.empty())
      session().log.write(
          "NOTE", fmt::format("The name {} on the first line of {} is longer than {} characters, "
                              "the most a variable name can have; the variable is read as {} "
                              "in data set {}.",
                              v.writtenName, file, kNameLimit, v.name, name.shown));
  for (const TableVar& v : table.vars)
    if (v.strayLine > 0)
      session().log.write(
          "NOTE", fmt::format("Variable {} of data set {} is read as character because some of "
                              "its values are not numbers; the first is {}. A missing value is "
                              "written \".\", NA, NaN or as an empty field.",
                              v.name, name.shown, strayValue(v, file)));
}

}  // namespace

void registerDataSet(HostDataSet* ds) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOpen.push_back(ds);
}

void forgetDataSet(HostDataSet* ds) {
  std::lock_guard<std::mutex> lock(gMutex);
  gOpen.erase(std::remove(gOpen.begin(), gOpen.end(), ds), gOpen.end());
}

void detachSource(HostDataSet* source) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (HostDataSet* ds : gOpen)
    if (OutputDataSet* out = asOutput(ds))
      for (OutVar& v : out->vars)
        if (v.source == source) v.source = nullptr;
}

std::shared_ptr<const Table> stepTable(const DataSetName& name, std::string* error) {
  int64_t size = 0, modified = 0;
  if (!fileStamp(name.path, &size, &modified)) {
    *error = "Data set " + name.shown + " does not exist (no file \"" + name.path.string() + "\")" +
             missingDirectory(name) + ".";
    return nullptr;
  }
  std::string key = tableKey(name.path);
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gTables.find(key);
  if (it != gTables.end() && it->second.size == size && it->second.modified == modified)
    return it->second.table;
  ImportSettings settings;
  settings.utilDirectory = utilDirectory();
  settings.threads = dataThreads(size, static_cast<int64_t>(settings.smallestPiece));
  // The text of a block read again: small beside the memory the step may use, as every
  // thread holds one and the table keeps a few parsed.
  settings.blockBytes = static_cast<size_t>(
      std::clamp<int64_t>(memoryAvailable() / (64 * settings.threads), 4 << 10, 1 << 20));
  // The text being checked, two batches of a piece a thread, within a quarter of that memory.
  settings.pieceBytes =
      static_cast<size_t>(std::clamp<int64_t>(memoryAvailable() / (8 * settings.threads), 64 << 10,
                                              static_cast<int64_t>(settings.pieceBytes)));
  std::unique_ptr<Table> table = importCsv(name.path, settings, error);
  if (!table) return nullptr;
  table->name = name.shown;
  table->reopenName = name.reopen;
  {
    std::lock_guard<std::mutex> targets(gTargetMutex);
    gRunDataSets.emplace(key, name.shown);
  }
  noteHowRead(*table, name);
  std::shared_ptr<const Table> shared(std::move(table));
  gTables[key] = CachedTable{shared, size, modified};
  return shared;
}

bool claimOutput(const std::string& shown, const std::filesystem::path& file, std::string* error) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (const auto& [key, cached] : gTables)
    if (sameFile(cached.table->source, file)) {
      *error = fmt::format(
          "Data set {} is read by this step, so it cannot also be written by it: name another "
          "output data set.",
          shown);
      return false;
    }
  std::lock_guard<std::mutex> targets(gTargetMutex);
  for (const StepOutput& o : gOutputs)
    if (equalsNoCase(o.shown, shown) || sameFile(o.file, file)) {
      *error = fmt::format(
          "Data set {} is already an output of this step: two outputs of one step need two "
          "names.",
          shown);
      return false;
    }
  if (isDocument(shown, file, error) || takesRunFile(shown, file, error)) return false;
  gOutputs.push_back(StepOutput{shown, file});
  gRunDataSets.emplace(tableKey(file), shown);
  return true;
}

bool refusedInput(const std::string& shown, const std::filesystem::path& file, std::string* error) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (const HostDataSet* ds : gOpen) {
    if (ds->direction != kDsOutput) continue;
    const auto* out = static_cast<const OutputDataSet*>(ds);
    if (!equalsNoCase(out->name, shown) && !sameFile(out->file.file(), file)) continue;
    *error = fmt::format(
        "Data set {} is written by this step, so it cannot also be read by it: name another "
        "output data set.",
        shown);
    return true;
  }
  std::lock_guard<std::mutex> targets(gTargetMutex);
  return isDocument(shown, file, error);
}

void keptOutput(const std::filesystem::path& file) {
  std::lock_guard<std::mutex> lock(gTargetMutex);
  for (StepOutput& o : gOutputs)
    if (o.file == file) o.kept = true;
}

bool claimDocuments(const std::vector<DocumentTarget>& documents, const std::string& program,
                    std::string* error) {
  {
    std::lock_guard<std::mutex> lock(gTargetMutex);
    gProgram = programFile(program);
  }
  std::vector<Document> claimed;
  for (const DocumentTarget& t : documents) {
    if (t.path.empty()) continue;
    const Document one{t, linkTarget(t.path)};
    for (const Document& d : claimed) {
      if (sameFile(d.file, one.file)) {
        *error = fmt::format("{} and {} name one file, {}: each needs a file of its own.",
                             d.target.option, t.option, t.path);
        return false;
      }
      const bool oneAmong = !one.target.directory && amongGraphs(one.file, d);
      if (oneAmong || (!d.target.directory && amongGraphs(d.file, one))) {
        const Document& file = oneAmong ? one : d;
        const Document& dir = oneAmong ? d : one;
        *error = fmt::format(
            "{} names {} in the directory of {}, where the graphs' files are written: name "
            "another file.",
            file.target.option, file.target.path, dir.target.option);
        return false;
      }
    }
    if (const std::string member = libraryMember(one.file); !member.empty()) {
      *error = fmt::format(
          "{} names {}, the file of data set {} in the library directory, which the steps "
          "read and write: name another file.",
          t.option, t.path, member);
      return false;
    }
    if (isProgram(one.file)) {
      *error = fmt::format("{} names the program file {}{}: name another file.", t.option, t.path,
                           gProgram.path.empty() ? ", read from standard input" : "");
      return false;
    }
    claimed.push_back(one);
  }
  std::lock_guard<std::mutex> lock(gTargetMutex);
  gDocuments = std::move(claimed);
  return true;
}

namespace {

// What a graph's file would replace that only the user may: the program, a data set of the
// library or of the run, a document, another graph's file; empty for none.
std::string runFileOf(const std::filesystem::path& file) {
  if (isProgram(file))
    return gProgram.path.empty() ? "the program, read from standard input"
                                 : "the program file " + gProgram.shown;
  if (const std::string member = libraryMember(file); !member.empty())
    return "the file of data set " + member;
  std::lock_guard<std::mutex> lock(gTargetMutex);
  for (const auto& [path, shown] : gRunDataSets)
    if (sameFile(path, file)) return "the file of data set " + shown;
  for (const Document& d : gDocuments)
    if (!d.target.directory && sameFile(d.file, file)) return "the document of " + d.target.option;
  struct stat st;
  if (::stat(file.c_str(), &st) == 0 && gGraphFiles.count({st.st_dev, st.st_ino}))
    return "the file of another graph";
  return "";
}

}  // namespace

bool claimGraphFile(const std::filesystem::path& path, std::string* error) {
  const std::filesystem::path file = linkTarget(path);
  const std::string taken = runFileOf(file);
  if (taken.empty()) return true;
  *error = fmt::format(
      "{} is {}{}: a graph's file never replaces the program, a data set or a "
      "document; remove the link or name another --svg directory",
      path.string(), file == path ? "" : "a link to " + file.string() + ", ", taken);
  return false;
}

void graphFileWritten(const std::filesystem::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return;
  std::lock_guard<std::mutex> lock(gTargetMutex);
  gGraphFiles.insert({st.st_dev, st.st_ino});
}

void documentWritten(const std::string& option) {
  std::lock_guard<std::mutex> lock(gTargetMutex);
  for (Document& d : gDocuments)
    if (d.target.option == option) d.written = true;
}

namespace {

// The step's output data sets and, with `documents`, the run's documents, listed by whether
// they are in place; the lines the log shows of them: those kept (under `keptLead`) and those
// not written.
std::vector<std::string> outputLines(bool documents, std::string_view keptLead) {
  std::string kept, lost;
  std::lock_guard<std::mutex> lock(gTargetMutex);
  for (const StepOutput& o : gOutputs)
    listTarget(o.kept ? &kept : &lost, fmt::format("{} ({})", o.shown, o.file.string()));
  for (const Document& d : gDocuments)
    if (documents && !d.target.directory)
      listTarget(d.written ? &kept : &lost,
                 fmt::format("the document of {} ({})", d.target.option, d.target.path));
  std::vector<std::string> lines;
  if (!kept.empty() && !keptLead.empty()) lines.push_back(fmt::format("{}{}.", keptLead, kept));
  if (!lost.empty())
    lines.push_back("Not written, any earlier file of the name left as it was: " + lost + ".");
  return lines;
}

}  // namespace

std::vector<std::string> interruptedOutputs() {
  return outputLines(true, "Written whole before the interruption and kept: ");
}

std::vector<std::string> unwrittenOutputs() { return outputLines(false, ""); }

std::string strayCellHint(std::string_view variable) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (const auto& [key, cached] : gTables) {
    const int j = findVariable(*cached.table, variable);
    if (j < 0) continue;
    const TableVar& v = cached.table->vars[static_cast<size_t>(j)];
    if (v.strayLine <= 0) continue;
    return fmt::format(
        "the value {} is not a number, so {} is read as character: correct that cell (a "
        "missing value is written \".\", NA, NaN or as an empty field)",
        strayValue(v, cached.table->source.string()), v.name);
  }
  return "";
}

void noteInexactDigits(HostDataSet* ds, int number) {
  const InputDataSet* in = asInput(ds);
  if (!in || number < 0 || number >= static_cast<int>(in->table->vars.size())) return;
  const TableVar& v = in->table->vars[static_cast<size_t>(number)];
  if (v.inexactLine <= 0) return;
  {
    // Readers on the workers look their variables up too: one note however many ask.
    static std::mutex noted;
    std::lock_guard<std::mutex> lock(noted);
    if (v.inexactNoted) return;
    v.inexactNoted = true;
  }
  double x = 0;
  (void)parseCell(v.inexactText, &x);
  char used[32];
  const auto end = std::to_chars(used, used + sizeof used, x).ptr;
  session().log.write(
      "NOTE", fmt::format("Variable {} of data set {} has values that a number does not hold "
                          "exactly: the first, {} on line {} of {}, is used as {}. Output data "
                          "sets carry its values as the file writes them.",
                          v.name, in->name, v.inexactText, v.inexactLine,
                          in->table->source.string(), std::string_view(used, end - used)));
}

namespace {

// A name as the first line of a file the step read writes it, read otherwise: too long, with
// blanks around it (as pandas shows a name), or a name that follows numpy.savetxt's "# ".
std::string writtenNameHint(const Table& table, std::string_view name) {
  const std::string file = table.source.string();
  for (const TableVar& v : table.vars)
    if (!v.writtenName.empty() && equalsNoCase(v.writtenName, name))
      return fmt::format("the column so named on the first line of {} is read as {}", file, v.name);
  const std::string_view bare = trimBlanks(name);
  if (bare.size() != name.size() && !bare.empty())
    if (const int j = findVariable(table, bare); j >= 0)
      return fmt::format(
          "the names on the first line of {} are read without the blanks around them: the name "
          "is now {}",
          file, table.vars[static_cast<size_t>(j)].name);
  for (const TableVar& v : table.vars)
    if (v.name.starts_with('#') && !bare.empty() &&
        equalsNoCase(trimBlanks(std::string_view(v.name).substr(1)), bare))
      return fmt::format(
          "the first line of {} names the variable \"{}\", as numpy.savetxt writes its header "
          "after \"# \": write it '{}'n, or write the file with savetxt(comments = \"\")",
          file, v.name, v.name);
  return "";
}

}  // namespace

std::string unfoundNameHint(std::string_view name) {
  const std::string tooLong =
      name.size() > kNameLimit
          ? fmt::format("a variable name has at most {} characters", kNameLimit)
          : "";
  std::lock_guard<std::mutex> lock(gMutex);
  for (const auto& [key, cached] : gTables)
    if (std::string hint = writtenNameHint(*cached.table, name); !hint.empty())
      return tooLong.empty() ? hint : tooLong + ": " + hint;
  return tooLong;
}

void forgetTable(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(gMutex);
  gTables.erase(tableKey(path));
}

void closeStepDataSets() {
  std::vector<HostDataSet*> open;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    open.swap(gOpen);
  }
  // Outputs first: an output may still point at an input it carries values from.
  std::stable_partition(open.begin(), open.end(),
                        [](const HostDataSet* ds) { return ds->direction == kDsOutput; });
  for (HostDataSet* ds : open) delete ds;
  forgetStepFailures();
  std::lock_guard<std::mutex> lock(gMutex);
  gTables.clear();
  std::lock_guard<std::mutex> targets(gTargetMutex);
  gOutputs.clear();
}

}  // namespace vsf::host
