// Output data sets: written to a temporary file beside the target and renamed into place
// only on a successful close, so a step that fails leaves neither a half-written file nor a
// damaged older one.
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "frame/host/values.h"
#include "host/data/dataset_internal.h"
#include "host/files.h"
#include "host/session.h"
#include "host/whole_file.h"

namespace vsf::host {

namespace {

constexpr size_t kFlushAt = size_t{1} << 20;

bool needsQuotes(std::string_view v) {
  if (v.empty() || v.front() == ' ' || v.back() == ' ') return true;
  return v.find_first_of(",\"\r\n") != std::string_view::npos;
}

void putText(std::string_view v, std::string* out) {
  if (!needsQuotes(v)) {
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

// The shortest text that reads back as the same double; missing values as "." or ".A".
void putNumber(double x, std::string* out) {
  if (char code = missingCode(x)) {
    out->push_back('.');
    if (code != '.') out->push_back(code);
    return;
  }
  if (!std::isfinite(x)) {
    out->push_back('.');
    return;
  }
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  out->append(buf, r.ptr);
}

// A slot's text: up to the first NUL, without trailing blanks.
std::string_view slotText(const std::vector<char>& chars) {
  std::string_view v(chars.data(), chars.size());
  v = v.substr(0, v.find('\0'));
  return trimRight(v);
}

bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t w = ::write(fd, data.data() + done, data.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

bool flush(OutputDataSet* out) {
  if (out->failed) return false;
  if (!writeAll(out->fd, out->buffer)) out->failed = true;
  out->buffer.clear();
  return !out->failed;
}

void discard(OutputDataSet* out) {
  if (out->fd >= 0) ::close(out->fd);
  out->fd = -1;
  if (!out->tempPath.empty()) {
    ::unlink(out->tempPath.c_str());
    untrackFile(out->tempPath);
  }
  out->tempPath.clear();
}

int addVar(OutputDataSet* out, OutVar v) {
  if (out->ready || trimRight(v.name).empty()) return static_cast<int>(dsstatus::kBadBinding);
  for (const OutVar& w : out->vars)
    if (equalsNoCase(w.name, v.name)) {
      issueError(fmt::format("Variable {} is defined twice for data set {}.", v.name, out->name));
      return static_cast<int>(dsstatus::kBadBinding);
    }
  out->vars.push_back(std::move(v));
  return 0;
}

void writeHeader(OutputDataSet* out) {
  for (size_t j = 0; j < out->vars.size(); ++j) {
    if (j) out->buffer.push_back(',');
    putText(out->vars[j].name, &out->buffer);
  }
  out->buffer.push_back('\n');
  out->ready = true;
}

[[noreturn]] void writeFailed(OutputDataSet* out) {
  std::string text = fmt::format("Data set {} cannot be written to \"{}\" ({}).", out->name,
                                 out->finalPath.string(), std::strerror(errno));
  discard(out);
  failStep(text);
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
  out->tempPath = temporaryBeside(resolved.path);
  out->fd = ::open(out->tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out->fd < 0) {
    issueError(fmt::format("Data set {} cannot be written to \"{}\" ({}).", out->name,
                           out->finalPath.string(), std::strerror(errno)));
    out->tempPath.clear();
    delete out;
    if (status) *status = hs::kVarNotFound;
    return nullptr;
  }
  trackFile(out->tempPath);
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
    OutVar o;
    o.name = v.name;
    o.type = v.type;
    o.length = v.length;
    o.source = in;
    o.sourceVar = j;
    if (int rc = addVar(out, std::move(o))) return rc;
  }
  return 0;
}

int outVarAdd(HostDataSet* ds, const OutVarDefinition* def, void** valueSlot) {
  OutputDataSet* out = asOutput(ds);
  if (!out || !def || !valueSlot) return static_cast<int>(dsstatus::kBadBinding);
  OutVar v;
  v.name = def->name;
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

int append(HostDataSet* ds) {
  OutputDataSet* out = asOutput(ds);
  if (!out || !out->ready || out->fd < 0) return static_cast<int>(dsstatus::kBadBinding);
  for (size_t j = 0; j < out->vars.size(); ++j) {
    const OutVar& v = out->vars[j];
    if (j) out->buffer.push_back(',');
    if (v.source) {
      if (v.type == kVarNumeric)
        putNumber(getNum(v.source, v.sourceVar), &out->buffer);
      else
        putText(getChar(v.source, v.sourceVar), &out->buffer);
    } else if (v.type == kVarCharacter) {
      putText(slotText(v.chars), &out->buffer);
    } else if (v.sourceVar >= 0) {
      out->buffer.push_back('.');  // carried from a data set closed since
    } else {
      putNumber(v.number, &out->buffer);
    }
  }
  out->buffer.push_back('\n');
  ++out->rows;
  if (out->buffer.size() >= kFlushAt && !flush(out)) writeFailed(out);
  return 0;
}

int outClose(HostDataSet* ds, bool keep) {
  OutputDataSet* out = asOutput(ds);
  if (!out) return -1;
  forgetDataSet(out);
  if (!keep || out->fd < 0) {
    delete out;
    return 0;
  }
  if (!out->ready) writeHeader(out);
  bool ok = flush(out) && ::close(out->fd) == 0;
  out->fd = -1;
  if (ok) ok = ::rename(out->tempPath.c_str(), out->finalPath.c_str()) == 0;
  if (!ok) {
    registerDataSet(out);  // the step's end removes it
    writeFailed(out);
  }
  untrackFile(out->tempPath);
  out->tempPath.clear();
  forgetTable(out->finalPath);
  session().lastDataSet = out->reopenName;
  delete out;
  return 0;
}

}  // namespace vsf::host
