// Inside the display tables: the output requests every builder shares and the builders the
// output drivers call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/strings.h"
#include "displays/displays.h"
#include "frame/host/host_vector.h"
#include "numerics/numerics.h"
#include "selection/selection.h"

namespace vsf {

struct HostPool;
struct ScratchFileObject;
struct DataSetBinding;
struct ZDesign;

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

constexpr int kMsgSet = 848;
constexpr int kBestFit = 98;                // format code: best fit in the width
constexpr int kOwnFormat = 99;              // format code: the variable's own format
constexpr double kExpFloor = -708.3964185;  // below it e^x is shown as 0
constexpr double kFuzz = 1.110223024625157e-13;

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
// The same for requests that open or describe groups: the spare pool goes first.
int sendGroupRequest(StepView* s, void* object, uint32_t op, std::vector<OutputArgItem> items);
// A 311/287 pair.
void addDynamic(std::vector<OutputArgItem>& items, std::string_view name, OutputArgItem value);
OutputArgItem valueInt(int32_t v);
OutputArgItem valueFlag(int32_t v);
OutputArgItem valueDouble(double v);
OutputArgItem valueString(HostString* s);

// The display clock: the start of a table and the time added to the display timer.
void startDisplayClock(StepView* s);
void stopDisplayClock(StepView* s);

// A data table as the output system receives it: create, columns, bind, rows, close, release.
class DataTable {
 public:
  explicit DataTable(StepView* s) : s_(s) {}
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
  StepView* s_;
  void* table_ = nullptr;
  void* instance_ = nullptr;
};

// A factoid table: label and value entries, released through its own entry.
class FactoidTable {
 public:
  explicit FactoidTable(StepView* s) : s_(s) {}
  void create(std::string_view name, std::string_view templatePath, HostString* label,
              std::vector<OutputArgItem> extras = {});
  void entry(HostString* label, OutputArgItem value, std::vector<OutputArgItem> more = {});
  void close();
  void release();
  void* table() const { return table_; }

 private:
  StepView* s_;
  void* table_ = nullptr;
};

// Groups and text lines.
void* openGroup(StepView* s, std::string_view name, HostString* label,
                std::vector<OutputArgItem> more = {});
void closeGroup(StepView* s, void* group);
void groupAttributes(StepView* s, std::vector<OutputArgItem> items);
void textLine(StepView* s, char justify, HostString* text);
void ruleLine(StepView* s);

// ---- Shared readings of the options ----
struct DisplayFlags {
  bool fullModelVariance = false;  // BIC or Cp among the statistics
  bool press = false;
  bool validationAse = false;  // per-step validation ASE column
  bool testAse = false;
  bool kfold = false;
  bool externalCv = false;
  bool severalPerStep = false;  // method codes 12 and 13
  bool pathEstimates = false;
  bool groupPath = false;
  bool stepNorm = false;
  bool stepDetails = false;  // DETAILS=STEPS or ALL, or a per-step plot
  bool detailsText = false;  // DETAILS=STEPS or ALL
  bool candidatesPlot = false;
  bool cvDetails = false;
  bool foldEstimates = false;
  bool l2History = false;
  bool validationShown = false;  // validation ASE column or entry
  bool testShown = false;
  // Statistics of the summary, by StatsColumn.
  bool stat[16] = {};
};
DisplayFlags displayFlags(const StepView* s, const SelectionState* sel);

// The first step the summary lists as a model of its own (the model of the forced effects).
int32_t firstSummaryStep(const StepView* s, const SelectionState* sel);

// The candidate label of an effect (empty when there is none).
std::string_view candidateLabel(const StepView* s, int32_t effect);
int32_t candidateColumns(const StepView* s, int32_t effect);
bool inModel(uint8_t state);

// ---- Builders ----
int printObsProfiles(StepView* s, SelectionState* sel);
int printNObsRoles(StepView* s, SelectionState* sel, int sourceWidth);
int printNObsSource(StepView* s, SelectionState* sel, const DataSetBinding* binding,
                    int sourceWidth);
int printClassLevelInfo(StepView* s, HostPool* allocator);
int printClassLevelCoding(StepView* s, HostPool* allocator);
int printSelectionSummary(StepView* s, SelectionState* sel, HostPool* allocator,
                          const BestSteps* best, void** dataOut);
int printStopReason(StepView* s, uint8_t reason, int32_t stepCount);
int printStopDetails(StepView* s, HostPool* allocator, const StopBlock* stop, double stopValue);
int printFitStatistics(StepView* s, SelectionState* sel);
int printAnova(StepView* s, SelectionState* sel, HostPool* allocator);
int printParameterEstimates(StepView* s, SelectionState* sel, HostPool* allocator,
                            uint8_t entryOrder);
int nextDisplayEffect(const SelectionState* sel, uint8_t* seen, int32_t* effect, int32_t* cursor);
int printCandidates(StepView* s, SelectionState* sel);
int printSelectedEffects(StepView* s, SelectionState* sel, HostPool* allocator);
int effectListLength(StepView* s, SelectionState* sel, HostPool* allocator, char** text,
                     int* length);
int printSelectedModelNote(StepView* s, SelectionState* sel, HostPool* allocator,
                           uint8_t stopReason);
int printCvDetails(StepView* s, SelectionState* sel, HostPool* allocator);
int printSelectionResults(StepView* s, SelectionState* sel, ScratchFileObject* file,
                          int64_t* position, int sampleIndex);
int printStepDetails(StepView* s, ScratchFileObject* file, int64_t* position, int sample);
// One step record of the step details: its group, change text and tables.
int printStepRecord(StepView* s, SelectionState* record, int level, int stepNumber, int r,
                    int first);

// Tables of other parts of the output built elsewhere (stand-ins until they exist).
int printDimensions(StepView* s, SelectionState* sel);
int printScreeningInfo(StepView* s, SelectionState* sel);
int printSisCorrelation(StepView* s, SelectionState* sel);
int printElasticNetParaSummary(StepView* s, SelectionState* sel);
int printElasticNetTuneL2(StepView* s, SelectionState* sel);
int printCvExternal(StepView* s, SelectionState* sel);
int printConstructedEffectInfo(StepView* s, void* manager, ZDesign* design);

}  // namespace vsf
