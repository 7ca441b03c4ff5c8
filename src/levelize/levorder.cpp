// Level order: a CLASS variable's collected levels become its level list (texts, internal
// values, lookup arrays) in the order its ORDER= and DESCENDING options ask for, with the
// reference level resolved.
#include <fmt/format.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/codes.h"
#include "base/host.h"
#include "base/strings.h"
#include "frame/host/dataset.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

bool isCharacter(const LevelVar& v) { return v.desc && v.desc->type == kVarCharacter; }

// Three-way compare of two key parts by a type letter: 'D' doubles with every special value
// below every number (all of them tied), 'L' signed 64-bit integers, 'S' bytes.
int comparePart(const char* a, const char* b, char type, int bytes) {
  if (type == 'D') {
    double x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    bool sx = znotfinite(x), sy = znotfinite(y);
    if (sx || sy) return sx && sy ? 0 : (sx ? -1 : 1);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (type == 'L') {
    int64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  int c = std::memcmp(a, b, static_cast<size_t>(bytes));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

char baseType(const char* t) { return t && t[0] == '-' ? t[1] : (t ? t[0] : 0); }
int direction(const char* t) { return t && t[0] == '-' ? -1 : 1; }

// Whether slot a must move behind slot b.
bool outOfOrder(const char* a, const char* b, const char* type1, const char* type2, int keyBytes) {
  char t1 = baseType(type1);
  if (t1 != 'X') return comparePart(a, b, t1, keyBytes) == direction(type1);
  int c = comparePart(a, b, 'L', 8);
  if (c != 0) return c == direction(type1);
  char t2 = baseType(type2);
  int rest = t2 == 'S' ? keyBytes - 8 : 8;
  return comparePart(a + 8, b + 8, t2, rest) == direction(type2);
}

// The key slots of one ORDER code (see zlvlorder).
struct KeyLayout {
  const char* type1 = "S";
  const char* type2 = "";
  int keyBytes = 0;
  int slotBytes = 0;
};

KeyLayout layoutOf(int order, bool descending, bool character, int width, int rawLength) {
  KeyLayout k;
  auto pick = [&](const char* up, const char* down) { return descending ? down : up; };
  switch (order) {
    case 'M':
      k = {pick("S", "-S"), "", width, 0};
      break;
    case 'F':
      k = {pick("-L", "L"), "", 8, 0};
      break;
    case 'D':
      k = {pick("L", "-L"), "", 8, 0};
      break;
    case 'I':
      k = character ? KeyLayout{pick("S", "-S"), "", rawLength, 0}
                    : KeyLayout{pick("D", "-D"), "", 8, 0};
      break;
    case 'X':
      k = {pick("-X", "X"), pick("S", "-S"), 8 + width, 0};
      break;
    case 'Y':
      k = {pick("-X", "X"), pick("L", "-L"), 16, 0};
      break;
    default:  // 'Z'
      k = character ? KeyLayout{pick("-X", "X"), pick("S", "-S"), 8 + rawLength, 0}
                    : KeyLayout{pick("-X", "X"), pick("D", "-D"), 16, 0};
      break;
  }
  k.slotBytes =
      (order == 'X' || (order == 'Z' && character)) ? (k.keyBytes + 7) / 8 * 8 : k.keyBytes;
  if (k.slotBytes == 0) k.slotBytes = 1;
  return k;
}

void fillKey(char* slot, int order, bool character, const LevelNode* node, int width) {
  auto put8 = [&](char* at, int64_t x) { std::memcpy(at, &x, 8); };
  const char* text = reinterpret_cast<const char*>(node) + kLevelKeyPosition;
  switch (order) {
    case 'M':
      std::memcpy(slot, text, static_cast<size_t>(width));
      break;
    case 'F':
      put8(slot, node->count);
      break;
    case 'D':
      put8(slot, node->firstSeen);
      break;
    case 'I':
      if (character)
        std::memcpy(slot, node->rawText, static_cast<size_t>(node->rawLength));
      else
        std::memcpy(slot, &node->value, 8);
      break;
    case 'X':
      put8(slot, node->count);
      std::memcpy(slot + 8, text, static_cast<size_t>(width));
      break;
    case 'Y':
      put8(slot, node->count);
      put8(slot + 8, node->firstSeen);
      break;
    default:  // 'Z'
      put8(slot, node->count);
      if (character)
        std::memcpy(slot + 8, node->rawText, static_cast<size_t>(node->rawLength));
      else
        std::memcpy(slot + 8, &node->value, 8);
      break;
  }
}

bool validOrder(int code) {
  return code == 'M' || code == 'F' || code == 'D' || code == 'X' || code == 'Y' || code == 'Z' ||
         code == 'I';
}

// Sorts the levels by the variable's keys; level texts and records follow the permutation.
void sortLevels(LevelizeWork* work, ZDesign* d, LevelVar& v, int n, char** texts, int order,
                bool armed) {
  const bool character = isCharacter(v);
  int rawLength = character && n > 0 ? work->levelList[0]->rawLength : 0;
  KeyLayout k = layoutOf(order, v.descending != 0, character, v.formattedWidth, rawLength);
  std::vector<char> slots(static_cast<size_t>(n) * static_cast<size_t>(k.slotBytes), 0);
  std::vector<int64_t> perm(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    fillKey(slots.data() + static_cast<size_t>(i) * k.slotBytes, order, character,
            work->levelList[i], v.formattedWidth);
    perm[static_cast<size_t>(i)] = i;
  }
  std::vector<char> before = slots;
  zsort2key(slots.data(), n, perm.data(), k.type1, k.type2, k.keyBytes, k.slotBytes);
  std::vector<char*> oldTexts(texts, texts + n);
  std::vector<LevelRecord> oldRecords(v.levels, v.levels + n);
  for (int i = 0; i < n; ++i) {
    texts[i] = oldTexts[static_cast<size_t>(perm[static_cast<size_t>(i)])];
    v.levels[i] = oldRecords[static_cast<size_t>(perm[static_cast<size_t>(i)])];
  }
  if (armed && slots != before && v.descending == 0 && !(d->flags & dflag::kNoOrderNote) &&
      v.orderNote == 0)
    v.orderNote = 1;
}

// Resolves the reference request into a level index; a value that is no level ends the step.
void resolveReference(LevelVar& v, int n, char** texts) {
  if (v.refIndex == -1) {
    v.refIndex = 0;
  } else if (v.refIndex == -2) {
    v.refIndex = n - 1;
  } else if (v.refIndex == -3) {
    for (int k = 0; k < n; ++k) {
      if (levRefMatches(v, texts[k])) {
        v.refIndex = k;
        return;
      }
    }
    levRefAbsent(v, texts, n);
    hostEndStep(step::kStatement);
  }
}

// Moves the reference level behind the others; it is then the last level.
void moveReferenceLast(LevelVar& v, int n, char** texts) {
  int r = v.refIndex;
  char* text = texts[r];
  LevelRecord record = v.levels[r];
  for (int k = r; k + 1 < n; ++k) {
    texts[k] = texts[k + 1];
    v.levels[k] = v.levels[k + 1];
  }
  texts[n - 1] = text;
  v.levels[n - 1] = record;
  v.refIndex = n - 1;
}

// The hashed lookup of the level texts (twice as many slots as levels, at least 8).
void levelSlotsOf(HostPool* allocator, LevelVar& v, int n, char** texts) {
  uint32_t slots = 8;
  while (slots < 2u * static_cast<uint32_t>(n)) slots *= 2;
  v.levelSlots = levArray<int32_t>(allocator, slots);
  v.levelSlotMask = slots - 1;
  for (uint32_t i = 0; i < slots; ++i) v.levelSlots[i] = -1;
  for (int k = 0; k < n; ++k) {
    uint32_t at = static_cast<uint32_t>(levHashBytes(texts[k], v.formattedWidth)) & v.levelSlotMask;
    while (v.levelSlots[at] >= 0) at = (at + 1) & v.levelSlotMask;
    v.levelSlots[at] = k;
  }
}

}  // namespace

bool levRefMatches(const LevelVar& v, const char* levelText) {
  const int w = v.formattedWidth;
  std::string level(levelText, static_cast<size_t>(w));
  const char* ref = v.refText ? v.refText : "";
  int len = static_cast<int>(std::strlen(ref));
  int start = 0;
  if (!v.raw) {
    zjustify(level.data(), w, 'l', nullptr, nullptr);
    while (start < len && ref[start] == ' ') ++start;
  }
  int t = ztrimlen(ref + start, len - start);
  if (ztrimlen(level.data(), w) != t) return false;
  return t == 0 || std::memcmp(level.data(), ref + start, static_cast<size_t>(t)) == 0;
}

void levRefAbsent(const LevelVar& v, const char* const* levelTexts, int n) {
  constexpr int kShown = 20;
  std::string levels;
  for (int k = 0; k < n && k < kShown; ++k) {
    std::string level(levelTexts[k], static_cast<size_t>(v.formattedWidth));
    level.resize(static_cast<size_t>(ztrimlen(level.data(), v.formattedWidth)));
    if (!v.raw) level.erase(0, level.find_first_not_of(' '));
    levels += fmt::format("{}\"{}\"", k ? ", " : "", level);
  }
  if (n > kShown) levels += fmt::format(" and {} more", n - kShown);
  StatementRecord place;  // the place of the value, not of its statement
  place.line = v.refLine, place.column = v.refColumn;
  std::optional<StatementPlace> at;
  if (v.refLine > 0) at.emplace(&place);
  hostMsg(172, 394,
          {std::string_view(v.desc ? v.desc->name : std::string()),
           std::string_view(v.refText ? v.refText : ""), std::string_view(levels)});
}

void zsortswap(char* a, char* b, const char* type1, const char*, int keyBytes) {
  char t = baseType(type1);
  size_t bytes = (t == 'D' || t == 'L') ? 8 : static_cast<size_t>(keyBytes);
  char tmp[256];
  std::vector<char> big;
  char* buf = tmp;
  if (bytes > sizeof tmp) {
    big.resize(bytes);
    buf = big.data();
  }
  std::memcpy(buf, a, bytes);
  std::memcpy(a, b, bytes);
  std::memcpy(b, buf, bytes);
}

void zsort2key(char* keys, int n, int64_t* perm, const char* type1, const char* type2, int keyBytes,
               int slotBytes) {
  for (int g = n / 2; g >= 1; g /= 2) {
    for (int i = g; i < n; ++i) {
      for (int j = i - g; j >= 0; j -= g) {
        char* a = keys + static_cast<size_t>(j) * slotBytes;
        char* b = keys + static_cast<size_t>(j + g) * slotBytes;
        if (!outOfOrder(a, b, type1, type2, keyBytes)) break;
        zsortswap(a, b, type1, type2, keyBytes);
        if (perm) std::swap(perm[j], perm[j + g]);
      }
    }
  }
}

int zlvlcollect(HostPool* allocator, LevelizeWork* work, ZDesign* d, int var, char*** slot) {
  LevelVar& v = d->classVars[var];
  const int n = work->levelCounts[var];
  const int w = v.formattedWidth;
  work->levelList = levArray<LevelNode*>(work->allocator, static_cast<size_t>(n));
  int k = 0;
  for (ZTreeNode* p = ZTREORD(work->levelTrees[var]); p && k < n;
       p = ZTREORD(work->levelTrees[var]))
    work->levelList[k++] = reinterpret_cast<LevelNode*>(p);
  ztreend(work->levelTrees[var]);

  char** texts = levArray<char*>(allocator, static_cast<size_t>(n));
  v.lookupTexts = levArray<char*>(allocator, static_cast<size_t>(n));
  v.lookupIndex = levArray<int32_t>(allocator, static_cast<size_t>(n));
  v.levels = levArray<LevelRecord>(allocator, static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const LevelNode* node = work->levelList[i];
    texts[i] = static_cast<char*>(levAlloc(allocator, static_cast<size_t>(w) + 1));
    std::memcpy(texts[i], reinterpret_cast<const char*>(node) + kLevelKeyPosition,
                static_cast<size_t>(w));
    if (!v.raw) zjustify(texts[i], w, 'l', nullptr, nullptr);
    if (isCharacter(v)) {
      char* raw = static_cast<char*>(levAlloc(allocator, static_cast<size_t>(node->rawLength) + 1));
      std::memcpy(raw, node->rawText, static_cast<size_t>(node->rawLength));
      v.levels[i].text = raw;
      v.levels[i].length = node->rawLength;
    } else {
      v.levels[i].value = node->value;
    }
  }
  *slot = texts;
  zlvlorder(allocator, work, d, var, texts);

  // Lookup arrays: the texts in byte order with their level indexes (Shell sort, halved gaps).
  for (int i = 0; i < n; ++i) {
    v.lookupTexts[i] = texts[i];
    v.lookupIndex[i] = i;
  }
  for (int g = n / 2; g >= 1; g /= 2) {
    for (int i = g; i < n; ++i) {
      for (int j = i - g; j >= 0; j -= g) {
        if (zkeycmp(v.lookupTexts[j], v.lookupTexts[j + g], w, 0) <= 0) break;
        std::swap(v.lookupTexts[j], v.lookupTexts[j + g]);
        std::swap(v.lookupIndex[j], v.lookupIndex[j + g]);
      }
    }
  }
  levelSlotsOf(allocator, v, n, texts);
  return n;
}

void zlvlorder(HostPool* allocator, LevelizeWork* work, ZDesign* d, int var, char** texts) {
  LevelVar& v = d->classVars[var];
  const int n = work->levelCounts[var];
  if (!validOrder(v.order)) v.order = d->defaultOrder;
  if (v.refIndex != -1 && v.refIndex != -2 && v.refIndex != -3 &&
      (v.refIndex < 0 || v.refIndex >= n))
    v.refIndex = -2;
  if (v.descending != 0 && v.descending != 1) v.descending = 0;

  int order = v.order;
  bool armed = false;
  if (order == 'M' && !isCharacter(v) && !levHasFormat(v)) {
    order = 'I';
    armed = true;
  }
  if (!(order == 'M' && v.descending == 0) && validOrder(order))
    sortLevels(work, d, v, n, texts, order, armed);

  resolveReference(v, n, texts);
  if (!(d->flags & dflag::kFullRank) && v.refIndex != n - 1 && v.refInPlace == 0 && n > 0)
    moveReferenceLast(v, n, texts);
  levCodingMatrix(allocator, &v, n);
}

int zlvlfind(void*, LevelVar* v, char* text) {
  const int w = v->formattedWidth;
  if (!v->raw) zjustify(text, w, 'l', nullptr, nullptr);
  if (v->levelSlots && v->levelTexts) {
    const size_t w8 = static_cast<size_t>(w);
    for (uint32_t at = static_cast<uint32_t>(levHashBytes(text, w)) & v->levelSlotMask;;
         at = (at + 1) & v->levelSlotMask) {
      int32_t k = v->levelSlots[at];
      if (k < 0) return rc::kNotFound;
      if (std::memcmp(v->levelTexts[k], text, w8) == 0) return k;
    }
  }
  if (!v->lookupTexts) return rc::kNotFound;
  int lo = 0, hi = v->levelCount - 1;
  while (hi - lo > 5) {
    int mid = (lo + hi) / 2;
    int c = std::memcmp(text, v->lookupTexts[mid], static_cast<size_t>(w));
    if (c == 0) return v->lookupIndex[mid];
    if (c < 0)
      hi = mid;
    else
      lo = mid;
  }
  for (int k = lo; k <= hi; ++k)
    if (std::memcmp(text, v->lookupTexts[k], static_cast<size_t>(w)) == 0) return v->lookupIndex[k];
  return rc::kNotFound;
}

}  // namespace vsf
