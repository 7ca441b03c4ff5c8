// Our host's output system as the rest of the host, the command and the tests see it: the
// request log, the renderers' entry points and the hooks for data objects.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace vsf::host::output {

// Statuses of refused requests (facility 62). An operation an object does not have answers
// with the dispatcher's own 0x80008001.
namespace status {
constexpr uint32_t kBadState = 0x8001F001u;     // not valid in the object's present state
constexpr uint32_t kBadArgument = 0x8001F002u;  // an argument missing, ill-typed or out of range
constexpr uint32_t kUnknownKind = 0x8001F003u;  // create of a kind the system does not make
constexpr uint32_t kBadHandle = 0x8001F004u;    // a handle that names no live object
constexpr uint32_t kBadWhere = 0x8001F005u;     // a where clause that cannot be read
}  // namespace status

// One argument of a logged request, decoded: numbers as text, strings as their text,
// handles as "#id", out-arguments as "out" (or "out #id" once written).
struct LoggedArg {
  uint16_t key = 0;
  uint16_t type = 0;
  std::string value;
};

struct LoggedRequest {
  int step = 0;
  uint32_t op = 0;
  std::string target;  // "root", "manager", "table ANOVA", "group StepDetails", ...
  std::vector<LoggedArg> args;
  int32_t status = 0;
  // The n-th argument with the key, or null.
  const LoggedArg* arg(uint16_t key, int nth = 0) const;
};

// Every request since the current step's manager was created (or the last clear), while the
// log is kept: a test keeps it (a run's requests, every row of every table, would grow with its
// BY groups).
const std::vector<LoggedRequest>& requestLog();
void clearRequestLog();
void keepRequestLog(bool keep);

// One BY variable of the current BY group: its name, its value and the value as shown.
struct ByValue {
  std::string name;
  std::string shown;
  bool text = false;
  double number = 0;  // when not text
};
// The BY group whose output follows (empty: none) and its number within the walk of the
// groups (1 for the first): every item the procedure makes from now on carries it, and the
// listing and the HTML page show a BY line where it changes.
void setByGroup(std::vector<ByValue> values, int64_t number = 0);
// The BY line of a group: "name=value" pairs joined by blanks.
std::string byLine(const std::vector<ByValue>& values);

// Where the listing goes as tables complete (standard output by default; null: nowhere).
void setListingStream(std::ostream* stream);

// Completes the last step's output: tables closed but not released are listed, groups left
// open are closed. The renderers below also work without it.
void finish();
// Forgets every object and the request log (tests).
void reset();

// Items whose work is done leave memory as each BY group and each step ends, what the run's
// documents (--json, --html, written at its end) need of them kept in spill files of the run's
// own in UTILPATH, so that memory does not grow with the groups. Without this call (tests),
// every item stays until reset().
void spillDocuments(bool json, bool html);
// The objects the output system holds: tables, groups, text lines, headings, graphs, views,
// handles, logged requests and BY groups' values (a test's measure of its memory).
size_t heldObjects();

// The JSON document, lightly indented.
std::string jsonText();
std::string htmlText();
bool writeJsonFile(const std::string& path, std::string* error);
bool writeHtmlFile(const std::string& path, std::string* error);

// Where graphs go as they are requested: SVG files into a directory (empty: no files), and
// whether an HTML page shows them; the listing says where each went.
void setGraphTargets(const std::string& svgDirectory, bool htmlPage);
// The SVG files that could not be written, each with its reason.
const std::vector<std::string>& graphFileErrors();

// The row count of a data object or filtered view handed out by the output system; false
// when the handle is neither (the data-set services answer their attribute 2 with it).
bool dataObjectRows(const void* handle, int64_t* rows);

// Tests: the next request with operation `op` answers `status` without being carried out.
void failNextRequest(uint32_t op, int32_t status);

}  // namespace vsf::host::output
