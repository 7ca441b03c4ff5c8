// The procedure's side of the output system: the requests every table, group and text line
// sends, data and factoid tables, and the texts and special values they carry.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host/host_vector.h"

namespace vsf {

// Where the step's tables, groups and text lines go: the host's output manager, the pool of
// the step details (given back before a refused group request ends the step), the pool of the
// step records a coefficient graph reads back, and the time the display tables and graphs
// took (with the number of their clocks running now).
struct OutputSink {
  HostObject* manager = nullptr;
  HostPool* detailsPool = nullptr;
  HostPool* modelPool = nullptr;  // the graphs' step records
  double clockTotal = 0;
  int clocksRunning = 0;
  bool timed = true;  // whether the displays' time is shown: the clock is read only then
  HostObject* selectedModelGroup = nullptr;  // the BY group's "SelectedModel" group, while open
};

// Argument keys of the output requests beyond those of frame/host/output.h.
namespace dkey {
constexpr uint16_t kDecimals = 270;
constexpr uint16_t kWidth = 272;
constexpr uint16_t kTextWidth = 289;
constexpr uint16_t kVariable = 2224;
constexpr uint16_t kFormatName = 340;
constexpr uint16_t kSummaryFlag = 336;
constexpr uint16_t kReleaseNote = 378;
constexpr uint16_t kBaseName = 288;
constexpr uint16_t kNumber = 437;
constexpr uint16_t kFlag286 = 286;
constexpr uint16_t kFlag435 = 435;
constexpr uint16_t kLevel = 440;
constexpr uint16_t kFlag358 = 358;
constexpr uint16_t kTextFlag = 371;
constexpr uint16_t kRule = 280;
constexpr uint16_t kRuleChar = 580;
}  // namespace dkey

// Column and value types of the requests.
namespace ctype {
constexpr int kChar = 1;
constexpr int kInt = 3;
constexpr int kUnsigned = 4;
constexpr int kDouble = 5;
constexpr int kText = 6;
constexpr int kString = 66;
}  // namespace ctype

constexpr int kMsgSet = 848;  // the procedure's messages and texts

// ---- Texts ----
HostString* hstr(std::string_view text);
HostString* msgStr(int number, std::initializer_list<MsgArg> args = {});
std::string msgText(int number, std::initializer_list<MsgArg> args = {});
int msgLength(int number);
// Copies text into a blank-filled field of the width; returns the characters copied.
int fillField(char* field, int width, std::string_view text);

// ---- Special missing values ----
double missingCodeI();
double missingCodeM();
double missingLowest();
bool isMissing(double x);  // any host missing value
// +DBL_MAX as I, -DBL_MAX as M; other values (missing ones too) as they are.
double infinityAsSpecial(double x);

// ---- Requests ----
// Sends a request; a refused one goes to zrcabort (which returns only for the tolerated
// status). Returns the status.
int sendRequest(void* object, uint32_t op, std::vector<OutputArgItem> items);
// The same for items the caller keeps, count of them from `items`.
int sendItems(void* object, uint32_t op, OutputArgItem* items, int count);
// The same for requests that open or describe groups: the spare pool goes first.
int sendGroupRequest(OutputSink* s, void* object, uint32_t op, std::vector<OutputArgItem> items);
// A 311/287 pair.
void addDynamic(std::vector<OutputArgItem>& items, std::string_view name, OutputArgItem value);
OutputArgItem valueInt(int32_t v);
OutputArgItem valueFlag(int32_t v);
OutputArgItem valueDouble(double v);
OutputArgItem valueString(HostString* s);

// Adds a display table's or graph's time to the display timer when it goes out of scope,
// whichever way the routine returns. A clock started inside another adds nothing: the outer
// one counts that time already.
class DisplayClock {
 public:
  explicit DisplayClock(OutputSink* s);
  ~DisplayClock();
  DisplayClock(const DisplayClock&) = delete;
  DisplayClock& operator=(const DisplayClock&) = delete;

 private:
  OutputSink* s_;
  double start_;
};

// A data table as the output system receives it: create, columns, bind, rows, close, release.
class DataTable {
 public:
  explicit DataTable(OutputSink* s) : s_(s) {}
  void create(std::string_view name, std::vector<OutputArgItem> extras = {});
  void column(int type, std::string_view name, const void* binding,
              std::vector<OutputArgItem> more = {});
  // A column described by a data-set variable.
  void variableColumn(const VarDescriptor* var, const void* binding,
                      std::vector<OutputArgItem> more = {});
  void endColumns();
  // Binds the template; the table goes under key 0 when keyZero, else under 504.
  void bind(std::string_view path, std::vector<OutputArgItem> dynamics = {}, bool keyZero = false,
            void** dataOut = nullptr, std::vector<OutputArgItem> tail = {});
  void row();
  void close();
  void release(HostString* note = nullptr);
  void* table() const { return table_; }

 private:
  OutputSink* s_;
  void* table_ = nullptr;
  void* instance_ = nullptr;
};

// A factoid table: label and value entries, released through its own entry.
class FactoidTable {
 public:
  explicit FactoidTable(OutputSink* s) : s_(s) {}
  void create(std::string_view name, std::string_view templatePath, HostString* label,
              std::vector<OutputArgItem> extras = {});
  void entry(HostString* label, OutputArgItem value, std::vector<OutputArgItem> more = {});
  void close();
  void release();
  void* table() const { return table_; }

 private:
  OutputSink* s_;
  void* table_ = nullptr;
};

// Groups and text lines.
void* openGroup(OutputSink* s, std::string_view name, HostString* label,
                std::vector<OutputArgItem> more = {});
void closeGroup(OutputSink* s, void* group);
void groupAttributes(OutputSink* s, std::vector<OutputArgItem> items);
void textLine(OutputSink* s, char justify, HostString* text);
void ruleLine(OutputSink* s);

}  // namespace vsf
