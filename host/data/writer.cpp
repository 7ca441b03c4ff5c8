// Output data sets: written, from their first rows on, to a temporary file beside the target
// and renamed into place only on a successful close, so a step that fails leaves neither a
// half-written file nor a damaged older one.
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <thread>

#include "frame/host/values.h"
#include "host/data/csv_number.h"
#include "host/data/dataset_internal.h"
#include "host/data/ordered_writer.h"
#include "host/session.h"
#include "host/thread_start.h"
#include "host/whole_file.h"

namespace vsf::host {

namespace {

// Narrow rows go 2,048 to a block; wide ones fewer, so that the blocks fit in the memory.
constexpr int64_t kBlockRows = 2048;
// The most text of a number (std::to_chars' shortest, as "-2.2250738585072014e-308") and its
// separator.
constexpr int64_t kNumberText = 25;

// The kind of a written column beside kVarNumeric and kVarCharacter: a carried number's text,
// written as it stands.
constexpr uint8_t kNumberAsText = 0;

bool needsQuotes(std::string_view v) {
  if (v.empty() || v.front() == ' ' || v.back() == ' ') return true;
  return v.find_first_of(",\"\r\n") != std::string_view::npos;
}

// A text a reader would take for a missing value written bare: NA (R, data.table, pandas and
// this reader), NaN in any case and sign (pandas), "." and ".A" (this reader's numbers).
bool readsAsMissing(std::string_view v) {
  if (v.size() > 4 || v.empty() || std::string_view(".Nn+-").find(v.front()) == v.npos)
    return false;
  double x = 0;
  return parseCell(v, &x) && std::isnan(x);
}

void putText(std::string_view v, std::string* out) {
  if (!needsQuotes(v) && !readsAsMissing(v)) {
    out->append(v);
    return;
  }
  out->push_back('"');
  for (char c : v) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

// A character value: a missing one (empty or blanks, as every table compares it) is a bare NA,
// as R's write.csv writes it, which R, data.table, pandas and this reader all read as missing
// (an empty field R and data.table read as an empty text).
void putValue(std::string_view v, std::string* out) {
  if (v.find_first_not_of(' ') == v.npos)
    out->append("NA");
  else
    putText(v, out);
}

// The shortest text that reads back as the same double. A missing value is an empty field, as
// R and pandas read one; a special missing value keeps its letter (".A"); infinities are
// written as R writes them.
void putNumber(double x, std::string* out) {
  if (char code = missingCode(x)) {
    if (code != '.') out->append({'.', code});
    return;
  }
  if (std::isnan(x)) return;
  if (std::isinf(x)) {
    out->append(x > 0 ? "Inf" : "-Inf");
    return;
  }
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  out->append(buf, r.ptr);
}

// A carried number as the output writes it: the shortest text of its double, or the text the
// file wrote where that would not give it back (an id past 2^53, 1000000000000000000 that
// would become 1e+18).
std::string_view numberText(const OutVar& v, std::string* scratch) {
  const double x = getNum(v.source, v.sourceVar);
  std::string_view written = trimRight(numberAsRead(v.source, v.sourceVar));
  while (!written.empty() && written.front() == ' ') written.remove_prefix(1);
  if (std::isfinite(x) && !shortestGivesBack(written, x)) return written;
  scratch->clear();
  putNumber(x, scratch);
  return *scratch;
}

// A slot's text: up to the first NUL, without trailing blanks.
std::string_view slotText(const std::vector<char>& chars) {
  std::string_view v(chars.data(), chars.size());
  v = v.substr(0, v.find('\0'));
  return trimRight(v);
}

// Opens the file at the first write, so that a run killed before its first row leaves nothing.
bool opened(OutputDataSet* out) {
  if (out->error == 0 && !out->file.open()) out->error = errno ? errno : EIO;
  return out->error == 0;
}

bool flush(OutputDataSet* out) {
  if (!opened(out)) return false;
  out->error = writeFully(out->file.fd(), out->buffer);
  out->buffer.clear();
  return out->error == 0;
}

// The rows of a block as CSV text: the same text whichever thread makes it. It is made in a
// local string with the room *out had: through the pointer, every char written could alias the
// string's own size, which would be read again at every character.
void formatBlock(const RowValues& b, const std::vector<uint8_t>& kinds, std::string* out) {
  std::string text = std::move(*out);
  // The most the text can take, so that it never moves: a text field may double its quotes.
  text.reserve(b.numbers.size() * kNumberText + b.texts.size() * 2 + b.textEnds.size() * 3);
  size_t n = 0, t = 0;
  uint32_t start = 0;
  for (int64_t r = 0; r < b.rows; ++r) {
    for (size_t j = 0; j < kinds.size(); ++j) {
      if (j) text.push_back(',');
      if (kinds[j] == kVarNumeric) {
        putNumber(b.numbers[n++], &text);
      } else {
        const uint32_t end = b.textEnds[t++];
        const std::string_view v = std::string_view(b.texts).substr(start, end - start);
        if (kinds[j] == kNumberAsText)
          text.append(v);
        else
          putValue(v, &text);
        start = end;
      }
    }
    text.push_back('\n');
  }
  *out = std::move(text);
}

// Threads formatting blocks: none without threads or on one processor, else one a processor
// the step's (or else the host's) threads allow, never more than the machine has, and one more,
// since the step's own thread mostly waits for them: formatting a row takes about three times
// as long as gathering it (bench/output_memory.sh).
int formatters(const OutputDataSet* out) {
  const int machine = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const int processors = out->processors > 0 ? std::min(out->processors, machine) : hostThreads();
  return processors > 1 ? processors + 1 : 0;
}

// DEBUG containing "WRITER" says where each data set's rows are formatted.
void traceWriter(const OutputDataSet* out, int threads) {
  if (upperCopy(session().options.debug).find("WRITER") == std::string::npos) return;
  session().log.write(
      "", threads > 1 ? fmt::format("Data set {} is formatted on {} threads.", out->name, threads)
                      : fmt::format("Data set {} is formatted on the step's thread.", out->name));
}

// The blocks of an output, its values and their text within a quarter of the memory: a number
// takes its 8 bytes, a text its characters and its end, and as text each as much as it can.
// Under an address-space limit, which the memory the system reports knows nothing of, within a
// quarter of the room left as the first row comes, each formatting thread's stack counted:
// planned by the machine's memory on every processor, the output was the run's peak.
void planOutput(OutputDataSet* out) {
  RowShape& row = out->shape;
  row = RowShape();
  for (const OutVar& v : out->vars) {
    if (v.dropped) continue;
    if (v.asWritten) {
      ++row.texts;
      row.chars += kNumberText;
    } else if (v.type == kVarNumeric) {
      ++row.numbers;
    } else {
      ++row.texts;
      row.chars += static_cast<size_t>(v.length);
    }
  }
  const auto values = static_cast<int64_t>(row.numbers * 8 + row.chars + row.texts * 4);
  const auto text =  // and the row's end
      static_cast<int64_t>(row.numbers * kNumberText + row.chars * 2 + row.texts * 3 + 1);
  int64_t budget = memoryAvailable(), threadBytes = 0;
  if (const int64_t room = mappingRoomLeft(); room >= 0) {
    budget = std::min(budget, room);
    threadBytes = static_cast<int64_t>(threadStackBytes());
  }
  out->plan = planBlocks(budget / 4, values, text, formatters(out), kBlockRows, threadBytes);
}

// A block's room for the rows the plan gives it, so that gathering them moves nothing; the
// plan is made at the first.
void startBlock(OutputDataSet* out) {
  if (out->rows == 0) planOutput(out);
  const size_t rows = static_cast<size_t>(out->plan.rows);
  out->block.numbers.reserve(rows * out->shape.numbers);
  out->block.textEnds.reserve(rows * out->shape.texts);
  out->block.texts.reserve(rows * out->shape.chars);
}

// The blocks go to a writer made at the first one, once the file is open; its threads format
// them (or this one, without threads), and the file takes the blocks in their order while the
// rows of the next ones are gathered.
bool submitBlock(OutputDataSet* out) {
  if (out->block.rows == 0) return true;
  if (!out->buffer.empty() && !flush(out)) return false;  // the header first
  if (!opened(out)) return false;
  if (!out->writer) {
    traceWriter(out, out->plan.threads);
    out->writer = std::make_unique<OrderedWriter>(
        out->plan.threads, out->plan.alive,
        [fd = out->file.fd()](std::string_view text) { return writeFully(fd, text); });
  }
  // The kinds go with the block: the workers reading them beside the rows being gathered
  // would share a cache line with the gathering.
  auto block = std::make_shared<RowValues>(std::move(out->block));
  out->block = RowValues();
  const bool handed = out->writer->submit(
      [block, kinds = out->kinds](std::string* text) { formatBlock(*block, kinds, text); });
  if (!handed) out->error = out->writer->finish();
  return handed;
}

// Waits for every block handed over to be written; false when a write failed.
bool writeBlocks(OutputDataSet* out) {
  if (out->writer && out->error == 0) out->error = out->writer->finish();
  return out->error == 0;
}

void discard(OutputDataSet* out) {
  out->writer.reset();  // a write under way ends before its file is closed
  out->file.discard();
}

int addVar(OutputDataSet* out, OutVar v) {
  if (out->ready || trimRight(v.name).empty()) return static_cast<int>(dsstatus::kBadBinding);
  const auto [at, fresh] = out->byName.try_emplace(upperCopy(v.name), out->vars.size());
  if (!fresh) {
    OutVar& w = out->vars[at->second];
    if (!w.source || v.source) {
      issueError(fmt::format("Variable {} is defined twice for data set {}.", v.name, out->name));
      return static_cast<int>(dsstatus::kBadBinding);
    }
    // A computed variable named like a carried one takes its place (the deque keeps the other
    // slots where they are).
    session().log.write("NOTE", fmt::format("The variable {} of data set {} replaces the variable "
                                            "of that name carried from the input.",
                                            v.name, out->name));
    w.dropped = true;
    at->second = out->vars.size();
  }
  out->vars.push_back(std::move(v));
  return 0;
}

void writeHeader(OutputDataSet* out) {
  bool first = true;
  out->kinds.clear();
  for (const OutVar& v : out->vars) {
    if (v.dropped) continue;
    if (!first) out->buffer.push_back(',');
    first = false;
    putText(v.name, &out->buffer);
    out->kinds.push_back(v.asWritten ? kNumberAsText : static_cast<uint8_t>(v.type));
  }
  out->buffer.push_back('\n');
  out->ready = true;
}

// Why the output cannot be written: a data set named by its path ('/data/o.csv') names it once.
std::string cannotWrite(const OutputDataSet* out, int error, bool making) {
  const std::string fault = writeFault(out->finalPath, out->file.file(), error, making);
  if (fault.starts_with(out->name + " ") || fault.starts_with(out->name + ":"))
    return fmt::format("Data set {} cannot be written{}.", out->name,
                       fault.substr(out->name.size()));
  return fmt::format("Data set {} cannot be written to {}.", out->name, fault);
}

[[noreturn]] void writeFailed(OutputDataSet* out) {
  if (out->error == ENOMEM) session().shortOfMemory = true;
  std::string text = cannotWrite(out, out->error, false);
  discard(out);
  failStep(text, false);  // the step's output, whichever BY group's rows failed to go in
}

// The document of the run lists every data set written, with its label and variables.
void recordWritten(const OutputDataSet* out) {
  WrittenDataSet w;
  w.name = out->name;
  w.path = out->finalPath.string();
  w.label = out->label;
  w.rows = out->rows;
  for (const OutVar& v : out->vars)
    if (!v.dropped) w.variables.push_back({v.name, v.label});
  session().written.push_back(std::move(w));
}

// Why the output cannot be written where its name points, found before its first row: the
// file made at that row would fail the same way. Empty when it can.
std::string targetFault(OutputDataSet* out) {
  std::string error;
  if (!out->file.prepare(out->finalPath, &error))
    return fmt::format("Data set {} cannot be written: {}.", out->name, error);
  if (!claimOutput(out->name, out->file.file(), &error)) return error;
  std::filesystem::path dir = out->file.file().parent_path();
  if (dir.empty()) dir = ".";
  if (!out->file.inPlace() && ::access(dir.c_str(), W_OK | X_OK) != 0)
    return cannotWrite(out, errno, true);
  return "";
}

}  // namespace

OutputDataSet::~OutputDataSet() { discard(this); }

OutputDataSet* asOutput(HostDataSet* ds) {
  return ds && ds->direction == kDsOutput ? static_cast<OutputDataSet*>(ds) : nullptr;
}

HostDataSet* outCreate(std::string_view name, int, uint32_t* status) {
  DataSetName resolved;
  if (!resolveOrReport(name, &resolved, status)) return nullptr;
  auto* out = new OutputDataSet;
  out->name = resolved.shown;
  out->reopenName = resolved.reopen;
  out->finalPath = resolved.path;
  if (std::string error = targetFault(out); !error.empty()) {
    issueError(error);
    delete out;
    if (status) *status = hs::kVarNotFound;
    return nullptr;
  }
  registerDataSet(out);
  if (status) *status = 0;
  return out;
}

int outCarry(HostDataSet* ds, HostDataSet* source, const int* numbers, int count) {
  OutputDataSet* out = asOutput(ds);
  InputDataSet* in = asInput(source);
  if (!out || !in || (count > 0 && !numbers)) return static_cast<int>(dsstatus::kBadBinding);
  for (int i = 0; i < count; ++i) {
    int j = numbers[i];
    if (j < 0 || j >= static_cast<int>(in->table->vars.size()))
      return static_cast<int>(hs::kVarNotFound);
    const TableVar& v = in->table->vars[static_cast<size_t>(j)];
    if (out->byName.contains(upperCopy(v.name))) continue;
    OutVar o;
    o.name = v.name;
    o.type = v.type;
    o.length = v.length;
    o.source = in;
    o.sourceVar = j;
    o.asWritten = v.type == kVarNumeric && v.asWritten;
    if (int rc = addVar(out, std::move(o))) return rc;
  }
  return 0;
}

int outVarAdd(HostDataSet* ds, const OutVarDefinition* def, void** valueSlot) {
  OutputDataSet* out = asOutput(ds);
  if (!out || !def || !valueSlot) return static_cast<int>(dsstatus::kBadBinding);
  OutVar v;
  v.name = def->name;
  v.label = def->label;
  v.type = def->type == kVarCharacter ? kVarCharacter : kVarNumeric;
  v.length = v.type == kVarNumeric ? 8 : std::max(1, def->length);
  v.number = missingValue('.');
  if (v.type == kVarCharacter) v.chars.assign(static_cast<size_t>(v.length), ' ');
  if (int rc = addVar(out, std::move(v))) return rc;
  OutVar& added = out->vars.back();
  *valueSlot = added.type == kVarNumeric ? static_cast<void*>(&added.number)
                                         : static_cast<void*>(added.chars.data());
  return 0;
}

int outReady(HostDataSet* ds) {
  OutputDataSet* out = asOutput(ds);
  if (!out || out->ready) return static_cast<int>(dsstatus::kBadBinding);
  writeHeader(out);
  return 0;
}

int outLabel(HostDataSet* ds, std::string_view label) {
  OutputDataSet* out = asOutput(ds);
  if (!out) return static_cast<int>(dsstatus::kBadBinding);
  out->label = std::string(label);
  return 0;
}

int append(HostDataSet* ds) {
  OutputDataSet* out = asOutput(ds);
  if (!out || !out->ready) return static_cast<int>(dsstatus::kBadBinding);
  RowValues& b = out->block;
  if (b.rows == 0) startBlock(out);
  auto text = [&](std::string_view t) {
    b.texts.append(t);
    b.textEnds.push_back(static_cast<uint32_t>(b.texts.size()));
  };
  thread_local std::string scratch;
  for (const OutVar& v : out->vars) {
    if (v.dropped) continue;
    if (v.source) {
      if (v.asWritten)
        text(numberText(v, &scratch));
      else if (v.type == kVarNumeric)
        b.numbers.push_back(getNum(v.source, v.sourceVar));
      else
        text(getChar(v.source, v.sourceVar));
    } else if (v.type == kVarCharacter) {
      text(slotText(v.chars));
    } else if (v.sourceVar >= 0) {  // carried from a data set closed since: missing
      if (v.asWritten)
        text({});
      else
        b.numbers.push_back(missingValue('.'));
    } else {
      b.numbers.push_back(v.number);
    }
  }
  ++out->rows;
  if (++b.rows >= out->plan.rows && !submitBlock(out)) writeFailed(out);
  return 0;
}

void outProcessors(HostDataSet* ds, int processors) {
  if (OutputDataSet* out = asOutput(ds)) out->processors = std::max(processors, 1);
}

int outClose(HostDataSet* ds, bool keep) {
  OutputDataSet* out = asOutput(ds);
  if (!out) return -1;
  forgetDataSet(out);
  if (!keep) {
    delete out;
    return 0;
  }
  if (!out->ready) writeHeader(out);
  bool ok = submitBlock(out) && writeBlocks(out) && flush(out);
  if (ok && !out->file.commit()) ok = false, out->error = errno ? errno : EIO;
  if (!ok) {
    registerDataSet(out);  // the step's end removes it
    writeFailed(out);
  }
  keptOutput(out->file.file());
  forgetTable(out->finalPath);  // by the name the step reads it under
  session().lastDataSet = out->reopenName;
  recordWritten(out);
  delete out;
  return 0;
}

}  // namespace vsf::host
