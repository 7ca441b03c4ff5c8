// Level collection: one pass over a BY group's observations that finds every CLASS
// variable's distinct formatted values (with their frequency, first appearance and least raw
// value) and every continuous variable's range.
#include <algorithm>
#include <cfloat>
#include <cstring>

#include "base/host.h"
#include "base/strings.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

bool isCharacter(const LevelVar& v) { return v.desc && v.desc->type == kVarCharacter; }

// The frequency count of an observation: the truncated frequency, or 0 when it is missing or
// outside 1 .. 2^63.
int64_t frequencyCount(const ZDesign* d) {
  if (!d->freqVar) return 1;
  double f = d->freqVar->value;
  if (znotfinite(f) || !(f >= 1.0 && f <= 9.223372036854776e18)) return 0;
  if (f >= 9.2233720368547758e18) return INT64_MAX;
  return static_cast<int64_t>(f);
}

int rawCompare(const char* a, int la, const char* b, int lb) {
  int c = std::memcmp(a, b, static_cast<size_t>(la < lb ? la : lb));
  return c != 0 ? c : la - lb;
}

// A new level takes the raw value; an existing one keeps the least (a missing number counts as
// least, a character text by byte order).
void keepLeastRaw(LevelizeWork* w, const LevelVar& v, int slot, LevelNode* node, bool fresh) {
  if (!isCharacter(v)) {
    double x = w->numericRaw[slot];
    if (fresh || znotfinite(x) || (!znotfinite(node->value) && x < node->value)) node->value = x;
    return;
  }
  const RawText& raw = w->characterRaw[slot];
  if (!fresh && rawCompare(raw.text, raw.length, node->rawText, node->rawLength) >= 0) return;
  if (!node->rawText || node->rawLength < raw.length)
    node->rawText = static_cast<char*>(levAlloc(w->allocator, static_cast<size_t>(raw.length) + 1));
  std::memcpy(node->rawText, raw.text, static_cast<size_t>(raw.length));
  node->rawLength = raw.length;
}

// The variable's index of its level tree, made again from the tree when it lags behind.
LevHashIndex& levelIndexOf(LevelizeWork* w, int i, int width) {
  LevHashIndex& ix = w->levelIndex[i];
  if (ix.count == static_cast<uint32_t>(w->levelCounts[i])) return ix;
  levFree(w->allocator, ix.slots);
  levHashInit(&ix, w->allocator, width, w->keyPosition);
  for (ZTreeNode* p = ZTREORD(w->levelTrees[i]); p; p = ZTREORD(w->levelTrees[i]))
    levHashAdd(&ix, p, levHashBytes(levelText(reinterpret_cast<LevelNode*>(p)), width));
  return ix;
}

// Counts the variable's current formatted value in its level, made when new.
void collectLevel(LevelizeWork* w, ZDesign* d, int i, int64_t f, LevelNode** spare,
                  LevelNode** out) {
  LevelVar& v = d->classVars[i];
  const char* text = w->formatted[i];
  LevHashIndex& ix = levelIndexOf(w, i, v.formattedWidth);
  const uint64_t hash = levHashBytes(text, v.formattedWidth);
  auto* got = static_cast<LevelNode*>(levHashFind(&ix, text, hash));
  if (!got) {
    LevelNode* node = *spare;
    if (!node)
      node = static_cast<LevelNode*>(levAlloc(w->allocator, static_cast<size_t>(w->nodeSize)));
    std::memcpy(levelText(node), text, static_cast<size_t>(v.formattedWidth));
    got = reinterpret_cast<LevelNode*>(
        ztrebld(&w->levelTrees[i], &node->link, v.formattedWidth, w->keyPosition, nullptr));
    if (!got) return;
    if (got == node) {
      node->rawText = nullptr;
      node->rawLength = 0;
      node->count = f;
      node->firstSeen = w->levelCounts[i]++;
      *spare = nullptr;
      levHashAdd(&ix, node, hash);
      keepLeastRaw(w, v, w->rawSlot[i], node, true);
      *out = node;
      return;
    }
    *spare = node;
  }
  got->count += f;
  keepLeastRaw(w, v, w->rawSlot[i], got, false);
  *out = got;
}

// 1 when the observation can be levelized: no CLASS value missing that must be present (a
// character value of all blanks, a missing number) and no continuous value missing.
int usability(const LevelizeWork* w, const ZDesign* d) {
  for (int k = 0; k < w->characterCount; ++k) {
    const LevelVar& v = d->classVars[w->characterIndex[k]];
    if (v.missingLevel || v.multimember) continue;
    if (ztrimlen(w->characterRaw[k].text, w->characterRaw[k].length) == 0) return 0;
  }
  for (int k = 0; k < w->numericCount; ++k) {
    const LevelVar& v = d->classVars[w->numericIndex[k]];
    if (!v.missingLevel && !v.multimember && znotfinite(w->numericRaw[k])) return 0;
  }
  for (int j = 0; j < d->modelVarCount; ++j)
    if (znotfinite(w->values[j])) return 0;
  return 1;
}

bool valuePresent(const LevelizeWork* w, const LevelVar& v, int slot) {
  if (isCharacter(v)) return ztrimlen(w->characterRaw[slot].text, w->characterRaw[slot].length) > 0;
  return !znotfinite(w->numericRaw[slot]);
}

void updateRange(LevelizeWork* w, const ZDesign* d) {
  for (int j = 0; j < d->modelVarCount; ++j) {
    double x = w->values[j];
    if (znotfinite(x)) continue;
    if (znotfinite(w->minimum[j]) || x <= w->minimum[j]) w->minimum[j] = x;
    if (znotfinite(w->maximum[j]) || x > w->maximum[j]) w->maximum[j] = x;
  }
}

// The formatted width a CLASS variable reads with: 0 means 16, -1 its own width.
int32_t readingWidth(const LevelVar& v) {
  if (v.formattedWidth == 0) return 16;
  if (v.formattedWidth == -1)
    return levHasFormat(v) ? v.desc->formatWidth : v.desc ? v.desc->length : 8;
  return v.formattedWidth;
}

}  // namespace

bool levHasFormat(const LevelVar& v) { return v.desc && !v.desc->format.empty(); }

int32_t levNaturalWidth(const LevelVar& v) {
  if (!v.desc) return 0;
  return levHasFormat(v) ? v.desc->formatWidth : v.desc->length;
}

int32_t levRawLength(const LevelVar& v) {
  constexpr int32_t kWidestText = 32767;
  return isCharacter(v) ? std::min(v.desc->length, kWidestText) : 8;
}

int32_t levWholeWidth(const LevelVar& v) {
  return v.desc && v.desc->formatWidth > 0 ? v.desc->formatWidth : levNaturalWidth(v);
}

void levTruncationCheck(LevelVar* v) {
  if (v->truncWarned || !v->desc || levReadWidth(*v) >= levNaturalWidth(*v)) return;
  std::string_view name(v->desc->name);
  if (v->truncMsgSet != 0 && v->truncMsgNumber != 0)
    hostMsg(v->truncMsgSet, v->truncMsgNumber, {name, v->formattedWidth});
  else
    hostMsg(172, 14, {name, v->formattedWidth});
  v->truncWarned = 1;
}

LevelizeWork* levelizeWorkNew(HostDataSet* reader, ZDesign* d) {
  HostPool* heap = levHeapNew(4102);
  auto* w = new (levAlloc(heap, sizeof(LevelizeWork))) LevelizeWork();
  w->allocator = heap;
  const size_t c = static_cast<size_t>(d->classCount);
  const size_t m = static_cast<size_t>(d->modelVarCount);
  w->levelCounts = levArray<int32_t>(heap, c);
  w->levelTrees = levArray<ZTreeNode*>(heap, c);
  w->minimum = levArray<double>(heap, m);
  w->maximum = levArray<double>(heap, m);
  for (size_t j = 0; j < m; ++j) {
    w->minimum[j] = DBL_MAX;
    w->maximum[j] = -DBL_MAX;
  }
  w->numericIndex = levArray<int32_t>(heap, c);
  w->characterIndex = levArray<int32_t>(heap, c);
  w->rawSlot = levArray<int32_t>(heap, c);
  w->inUse = levArray<int32_t>(heap, c);
  w->values = levArray<double>(heap, m);
  w->formatted = levArray<char*>(heap, c);
  w->numericRaw = levArray<double>(heap, c);
  w->characterRaw = levArray<RawText>(heap, c);
  w->levelIndex = levArray<LevHashIndex>(heap, c);
  d->totalWidth = 0;
  d->largestWidth = 0;
  for (size_t i = 0; i < c; ++i) {
    LevelVar& v = d->classVars[i];
    v.formattedWidth = readingWidth(v);
    v.valueOffset = d->totalWidth;
    d->totalWidth += v.formattedWidth;
    if (v.formattedWidth > d->largestWidth) d->largestWidth = v.formattedWidth;
    w->formatted[i] = static_cast<char*>(levAlloc(heap, static_cast<size_t>(v.formattedWidth)));
    if (isCharacter(v)) {
      RawText& raw = w->characterRaw[w->characterCount];
      raw.length = levRawLength(v);
      raw.text = static_cast<char*>(levAlloc(heap, static_cast<size_t>(raw.length) + 1));
      w->rawSlot[i] = w->characterCount;
      w->characterIndex[w->characterCount++] = static_cast<int32_t>(i);
    } else {
      w->rawSlot[i] = w->numericCount;
      w->numericIndex[w->numericCount++] = static_cast<int32_t>(i);
    }
    w->inUse[i] = 1;
    levHashInit(&w->levelIndex[i], heap, v.formattedWidth, w->keyPosition);
    if (v.refIndex == 0) v.refIndex = -2;
  }
  w->nodeSize = w->keyPosition + d->largestWidth + 7;
  w->start = [](LevelizeWork* work) { return zlevprep(work, nullptr); };
  w->next = &levelizeNextDefault;
  w->fetch = &levelizeFetchDefault;
  w->owner = reader;
  return w;
}

void levelizeWorkFree(LevelizeWork* work) {
  if (work) levHeapFree(work->allocator);
}

void levelizeSequential(HostDataSet* reader, LevelizeWork* w, ZDesign* d) {
  LevelNode* spare = nullptr;
  w->formattedRow = 1;
  w->start(w);
  while (w->next(w)) {
    LevelNode* out = nullptr;
    levelizeObservation(reader, w, d, &out, &spare);
  }
}

void levelizeMergeLevel(LevelizeWork* w, ZDesign* d, int i, const LevelNode* from) {
  const LevelVar& v = d->classVars[i];
  const char* text = levelText(const_cast<LevelNode*>(from));
  LevHashIndex& ix = levelIndexOf(w, i, v.formattedWidth);
  const uint64_t hash = levHashBytes(text, v.formattedWidth);
  auto* got = static_cast<LevelNode*>(levHashFind(&ix, text, hash));
  const bool fresh = got == nullptr;
  if (fresh) {
    auto* node = static_cast<LevelNode*>(levAlloc(w->allocator, static_cast<size_t>(w->nodeSize)));
    std::memcpy(levelText(node), text, static_cast<size_t>(v.formattedWidth));
    got = reinterpret_cast<LevelNode*>(
        ztrebld(&w->levelTrees[i], &node->link, v.formattedWidth, w->keyPosition, nullptr));
    if (got != node) return;
    node->count = 0;
    node->firstSeen = w->levelCounts[i]++;
    levHashAdd(&ix, node, hash);
  }
  got->count += from->count;
  // The least raw value over both, as one pass over all the observations keeps it.
  if (!isCharacter(v)) {
    const double x = from->value;
    if (fresh || znotfinite(x) || (!znotfinite(got->value) && x < got->value)) got->value = x;
    return;
  }
  if (!fresh && rawCompare(from->rawText, from->rawLength, got->rawText, got->rawLength) >= 0)
    return;
  if (!got->rawText || got->rawLength < from->rawLength)
    got->rawText =
        static_cast<char*>(levAlloc(w->allocator, static_cast<size_t>(from->rawLength) + 1));
  std::memcpy(got->rawText, from->rawText, static_cast<size_t>(from->rawLength));
  got->rawLength = from->rawLength;
}

void levelizeMergeRange(LevelizeWork* w, const ZDesign* d, const double* lo, const double* hi) {
  for (int j = 0; j < d->modelVarCount; ++j) {
    if (znotfinite(w->minimum[j]) || lo[j] <= w->minimum[j]) w->minimum[j] = lo[j];
    if (znotfinite(w->maximum[j]) || hi[j] > w->maximum[j]) w->maximum[j] = hi[j];
  }
}

int levelizeObservation(HostDataSet*, LevelizeWork* w, ZDesign* d, LevelNode** out,
                        LevelNode** spare) {
  if (w->fetch)
    w->fetch(w, d);
  else
    levelizeFetchDefault(w, d);
  if (w->filter && w->filter(w) == 0) return 0;
  int u = usability(w, d);
  if (u == 0 && !(d->flags & dflag::kKeepMissing)) return 0;
  int64_t f = frequencyCount(d);
  for (int i = 0; i < d->classCount; ++i) {
    if (!w->inUse[i]) continue;
    const LevelVar& v = d->classVars[i];
    bool always = (!(d->flags & dflag::kKeepMissing) || v.missingLevel) && !v.multimember;
    if (always || valuePresent(w, v, w->rawSlot[i])) collectLevel(w, d, i, f, spare, out);
  }
  updateRange(w, d);
  return u;
}

}  // namespace vsf
