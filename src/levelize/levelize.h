// Levelization of a BY group: the levels of the CLASS variables, the decoding of each
// observation, and the key comparators of the level trees.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "effects/effects.h"

namespace vsf {

struct KnotFiles;

// What zlev reports of a BY group it skips.
namespace levstatus {
constexpr int kNoLevels = 1;         // nothing to analyse
constexpr int kReferenceAbsent = 2;  // a reference level given by value does not occur
constexpr int kConstructed = 6;      // the constructed-effect set-up failed
}  // namespace levstatus

// Levelizes the current BY group: 0, or a levstatus code that skips the group.
[[nodiscard]] int zlev(ZLevCtx* ctx);
// Releases the group's levelization by mask (0x01 levels, 0x02 row arrays, 0x04 and 0x08
// callbacks, 0x10 row images, 0x20 the pass's memory; 0x40, the threads, needs nothing since
// they end with their pass); -1 releases everything.
int zlevfree(ZLevCtx* ctx, int mask);
// The passes that may note they run on one thread, as bits of ZLevCtx::oneThreadNoted.
enum class OneThreadPass : uint32_t { kLevelize = 1, kCombinations = 2, kDataPass = 4 };

// Notes in the log (848/4960) that `pass` (named `what`) runs on one thread for `why`, once
// a step: every BY group would give the same reason.
void levNoteOneThread(ZLevCtx* ctx, OneThreadPass pass, std::string_view what,
                      std::string_view why);

// One message (172, 398) per CLASS variable with exactly one level; 0.
int zsinglelvl(const ZLevCtx* ctx);

// Key comparator of level trees keyed by NUL-terminated names, compared blank-padded: -1, 0 or
// 1 (zidxcmp, for keys of level indexes, is the numerics library's).
int znamecmp(const void* a, const void* b, int ignored, int keyOffset);

// The level index of a formatted value (justified in place unless the variable is raw), -1
// when it is no level.
int zlvlfind(void* ignored, LevelVar* var, char* text);

// Reads the formatted CLASS values of the current reader whole when `whole` (a data set other
// than the analysis data, whose values may be longer than every level), unless TRUNCATE= cut
// the levels themselves; else as wide as the levels. Takes effect when the rows are bound
// again, that is on the next reader switch.
void zlevreadwhole(ZLevCtx* ctx, bool whole);
// Whether the current observation's value of CLASS variable c is present yet none of the
// levels (whole formatted texts compared); its text, aligned and trimmed, into *text.
bool zlevunseen(const ZLevCtx* ctx, int c, std::string* text);

// The observations of a pass left out for values that are none of the levels, counted per
// CLASS variable and value in the order met, for the notes that name them.
class UnseenLevels {
 public:
  // Counts the current observation under each CLASS variable (those flagged in `used`, or
  // every one when null) whose value is unseen; whether there was one.
  bool add(const ZLevCtx* ctx, const uint8_t* used);
  bool empty() const { return entries_.empty(); }
  // One note (848, each) per variable and value, with the value, the variable's name, the
  // data set's name and the count; past the first few values of a variable one note (848,
  // rest) counts the other values and their observations.
  void report(const ZDesign* design, std::string_view dataSet, int each, int rest) const;

 private:
  struct Entry {
    int32_t var = 0;
    std::string text;
    int64_t rows = 0;
  };
  std::vector<Entry> entries_;
  std::map<std::pair<int32_t, std::string>, size_t> index_;
};

// Status bits of an observation read by zreadobs.
namespace obs {
constexpr uint32_t kWeight = 0x01;        // weight or frequency missing or not positive
constexpr uint32_t kNeeded = 0x02;        // a value the model needs is missing
constexpr uint32_t kExcluded = 0x04;      // an extra variable or a row slot is missing
constexpr uint32_t kClassMissing = 0x08;  // some CLASS level is missing
constexpr uint32_t kContMissing = 0x10;   // some continuous value is missing
constexpr uint32_t kEffect = 0x20;        // unusable for an effect
constexpr uint32_t kAllMissing = 0x40;    // passed under a MULTIMEMBER all-missing rule
constexpr uint32_t kInfinite = 0x80;      // a value of the model is infinite (never used)
constexpr uint32_t kUnusable = 0x27;      // any of these: the observation is not used
}  // namespace obs

// Decodes the current observation: fetches it, sets the CLASS level
// indexes, the scaled continuous values and each effect's product and level combination,
// and returns its status word. values receives the responses (the extra variables).
[[nodiscard]] uint32_t zreadobs(ZLevCtx* ctx, double* values, double* weight, double* frequency);
// The check of one effect's constructed members: 1 usable, 0 not (0x22 added to *status).
int zeffobs(uint32_t* status, ZLevCtx* ctx, ZDesign* design, int effect);
// Points each extra variable at the level index of the CLASS variable that is the same
// data-set variable.
void zlinkextra(ZLevCtx* ctx);
// Why the constructed effects' set-up pass over a BY group's data failed.
namespace setupstatus {
constexpr int kKnotsUnusable = 3;    // a spline's knots could not be placed
constexpr int kNotStandardized = 4;  // a variable could not be standardized
constexpr int kNoLagTable = 5;       // a LAG design variable's tables could not be built
}  // namespace setupstatus

// LAG tables over the data the context reads: zlagtables numbers the groups (subjects) of each
// listed LAG record over one pass; zlagpass fills one LAG design variable's lag tables over
// another: 0, or setupstatus::kNoLagTable after a data error (no groups, a duplicate group and
// period, a history row with a response in the analysis data). The caller's two texts, when given,
// name the scored data set and its OUT= data set in the messages.
void zlagtables(ZLevCtx* ctx, int count, LagRecord* const* lags);
[[nodiscard]] int zlagpass(ZLevCtx* ctx, ZDesignVar* var, const char* text1, const char* text2);
// The files of percentile knots over a pass of the BY group's observations: opened (with
// frequencies when the context reads a FREQ variable), one record per usable observation (its
// values and whole frequency), then sorted. A scratch file that cannot be written or sorted
// ends the step with step::kHistory (the files released first).
void zknotfilesopen(const ZLevCtx* ctx, KnotFiles* files);
void zknotfilesadd(KnotFiles* files, const double* values, double frequency);
void zknotfilessort(KnotFiles* files);

// A context that decodes the current BY group's observations on a reader of its own, so that
// a worker thread can read a range of them (zreadobs, and with rows zxrow) while others read
// theirs. Made and released on the calling thread, after zlev and after the context's start
// routine. Null when the group cannot be read so; *why (when given) then says why: an
// observation filter or row routine, a CLASS variable that is computed, or (with rows)
// constructed effects.
ZLevCtx* zlevclone(ZLevCtx* ctx, bool rows, const char** why);
// The workers a threaded pass (`what`: its name in the note; `rows`: it stores design rows)
// starts on the group, of the step's `asked`: the group's `paid` (its rows keep them busy), or 1.
// A group whose workers cannot read its observations runs on one thread, which the step's first
// such pass notes, also where the group's rows alone keep it to one thread: the log does not
// depend on the size of the groups.
int zlevpassworkers(ZLevCtx* ctx, int asked, int paid, OneThreadPass pass, std::string_view what,
                    bool rows);
void zlevclonefree(ZLevCtx* clone);
// Positions a clone so that its next routine delivers observation k (from 0) of the group.
void zlevcloneseek(ZLevCtx* clone, int64_t k);

// The runs of a group's observations that a crew's workers read in turn: run k covers the
// group's observations start(k) to start(k) + length(k) - 1. Runs are about `preferred`
// observations and follow the blocks the host keeps the data set in, so that no block is read
// for two runs.
struct ObsRuns {
  int64_t first = 1;  // observations of run 0
  int64_t rows = 1;   // observations of every later run
  int64_t start(int64_t k) const { return k == 0 ? 0 : first + (k - 1) * rows; }
  int64_t length(int64_t k) const { return k == 0 ? first : rows; }
};
ObsRuns zlevruns(const ZLevCtx* ctx, int64_t preferred, int64_t most = 0);
// The runs of a group that starts at observation `groupFirst` of a data set kept in blocks of
// `blockRows` observations (0: blocks of any size): whole blocks, as many as `most` rows hold
// (0: no bound), unless a block has more, when runs of at most `most` cut each block into equal
// parts.
ObsRuns obsRuns(int64_t blockRows, int64_t groupFirst, int64_t preferred, int64_t most = 0);

// Reader callbacks of the crossproducts provider: zreadobs, then 1 when it reports no bit of
// obs::kUnusable.
int zobsusable(ZLevCtx* ctx, double* values);
int zobsusablew(ZLevCtx* ctx, double* weight);

}  // namespace vsf
