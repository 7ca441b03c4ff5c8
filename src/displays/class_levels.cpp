// ClassLevelInfo (each CLASS variable with its levels) and ClassLevelCoding (how each level of
// a variable the model uses is coded into design columns).
#include <algorithm>
#include <cstring>
#include <string>

#include "base/codes.h"
#include "base/host.h"
#include "design/design.h"
#include "displays/displays_internal.h"
#include "selection/group.h"

namespace vsf {

namespace {

constexpr int kValuesCap = 256;   // the widest Values text
constexpr int kValuesStop = 252;  // a list that would pass this ends with "..."

// Level l's text without its surrounding blanks (at least one character when it has one).
std::string_view levelText(const LevelVar& v, int l) {
  std::string_view t;
  if (v.levelTexts && v.levelTexts[l])
    t = std::string_view(v.levelTexts[l], std::max(v.formattedWidth, 0));
  else if (v.levels && v.levels[l].text)
    t = std::string_view(v.levels[l].text, std::max(v.levels[l].length, 0));
  t = t.substr(0, std::min(t.find('\0'), t.size()));
  size_t a = t.find_first_not_of(' ');
  if (a == std::string_view::npos) return t.substr(0, t.empty() ? 0 : 1);
  t.remove_prefix(a);
  return t.substr(0, t.find_last_not_of(' ') + 1);
}

std::string_view nameOf(const LevelVar& v) {
  return v.desc ? std::string_view(v.desc->name) : std::string_view();
}

int listLength(const LevelVar& v) {
  int n = 0;
  for (int l = 0; l < v.levelCount; ++l)
    n += 1 + std::max(static_cast<int>(levelText(v, l).size()), 1);
  return n;
}

// The Values text: the levels in order, cut with "..." before it would pass 252 characters.
std::string valuesText(const LevelVar& v, char separator) {
  std::string out;
  for (int l = 0; l < v.levelCount; ++l) {
    std::string_view t = levelText(v, l);
    if (t.empty()) t = " ";
    if (static_cast<int>(out.size() + t.size()) > kValuesStop) {
      out += "...";
      break;
    }
    out += t;
    if (l + 1 < v.levelCount) out += separator;
  }
  return out;
}

}  // namespace

// Returns 0 (also without CLASS variables: nothing to show), or -2 when a buffer cannot be had.
int printClassLevelInfo(StepView* s, HostPool* allocator) {
  DisplayClock clock(&s->output);
  const ZDesign* d = s->lev.design;
  if (!d || d->classCount <= 0) return 0;
  const int limit = s->display.nameLength > 0 ? s->display.nameLength : 20;
  int classWidth = 1, valuesWidth = 0;
  bool noted = false;
  for (int32_t c = 0; c < d->classCount; ++c) {
    const LevelVar& v = d->classVars[c];
    classWidth = std::max(classWidth, std::min(static_cast<int>(nameOf(v).size()), limit));
    int n = listLength(v);
    if (n >= kValuesCap && !noted) {
      hostMsg(kMsgSet, 200);
      noted = true;
    }
    valuesWidth = std::max(valuesWidth, std::min(n, kValuesCap));
  }
  auto take = [&](int n) {
    return allocator ? static_cast<char*>(kernel().poolAlloc(allocator, std::max(n, 1), 0))
                     : nullptr;
  };
  char* classText = take(classWidth);
  char* values = take(valuesWidth);
  if (!classText || !values) return rc::kMemory;

  const bool split = s->display.designPerByGroup && !s->settings.classes.globalSplit;
  int32_t levels = 0, splitFlag = 0;
  DataTable t(&s->output);
  t.create("ClassLevelInfo", {argString(key::kLabel2, msgStr(580))});
  t.column(ctype::kText, "Class", classText,
           {argString(key::kLabel2, msgStr(581)), argInt(dkey::kTextWidth, classWidth)});
  if (split) t.column(ctype::kInt, "Split", &splitFlag);
  t.column(ctype::kInt, "Levels", &levels, {argString(key::kLabel2, msgStr(582))});
  if (valuesWidth > 0)
    t.column(ctype::kText, "Values", values,
             {argString(key::kLabel2, msgStr(583)), argInt(dkey::kTextWidth, valuesWidth)});
  std::vector<OutputArgItem> wd;
  addDynamic(wd, "WD", valueInt(std::min(valuesWidth, 50)));
  sendRequest(t.table(), op::kSetDynamic, wd);
  t.endColumns();
  std::vector<OutputArgItem> footnote;
  addDynamic(footnote, "printFootnote", valueInt(split ? 1 : 0));
  t.bind("Stat.VARSIFTER.ClassLevelInfo", footnote, true);
  for (int32_t c = 0; c < d->classCount; ++c) {
    const LevelVar& v = d->classVars[c];
    fillField(classText, classWidth, nameOf(v).substr(0, limit));
    levels = v.levelCount;
    splitFlag = v.split;
    if (valuesWidth > 0)
      fillField(values, valuesWidth, valuesText(v, s->settings.classes.delimiter));
    t.row();
  }
  t.close();
  t.release();
  return 0;
}

namespace {

// The CLASS variables the model's effects use, directly or through their design variables.
void markUsed(const ZDesign* d, uint8_t* used) {
  for (int32_t e = 0; e < d->effectCount; ++e) {
    const ZEffect& z = d->effects[e];
    for (int k = 0; k < z.allClassCount; ++k)
      if (z.allClass[k] >= 0 && z.allClass[k] < d->classCount) used[z.allClass[k]] = 1;
    for (int k = 0; k < z.constructedCount && d->designVars; ++k) {
      const ZDesignVar& dv = d->designVars[z.constructed[k]];
      for (int m = 0; m < dv.classCount; ++m)
        if (dv.classMembers[m] >= 0 && dv.classMembers[m] < d->classCount)
          used[dv.classMembers[m]] = 1;
    }
  }
}

const char* designFormat(bool coded, CodingCode coding) {
  return coded ? codingOf(coding).designFormat : "1.0";
}

struct CodingWidths {
  int name = 1, value = 1, buffer = 8;
};

void codingTable(StepView* s, const LevelVar& v, bool coded, bool first, const CodingWidths& w,
                 char* classText, char* valueText, double* row) {
  const int columns = coded ? v.levelCount - 1 : v.levelCount;
  const std::string name(nameOf(v));
  DataTable t(&s->output);
  t.create("ClassLevelCoding", {argString(key::kLabel2, msgStr(586, {std::string_view(name)})),
                                argString(key::kTitle, hstr(name))});
  t.column(ctype::kText, "Class", classText, {argInt(dkey::kTextWidth, w.name)});
  std::vector<OutputArgItem> value = {argString(key::kLabel2, msgStr(583)),
                                      argInt(dkey::kTextWidth, w.value)};
  addDynamic(value, "valueHeader", valueString(msgStr(587, {std::string_view(name)})));
  t.column(ctype::kText, "Value", valueText, value);
  for (int j = 1; j <= columns; ++j)
    t.column(ctype::kDouble, "X" + std::to_string(j), &row[j - 1],
             {argString(key::kLabel2, hstr(std::to_string(j))),
              argString(key::kTemplate, hstr("designvar"))});
  t.endColumns();
  std::vector<OutputArgItem> dyn;
  addDynamic(dyn, "designFormat", valueString(hstr(designFormat(coded, v.coding))));
  addDynamic(dyn, "showHeader", valueInt(first ? 1 : 0));
  t.bind("Stat.VARSIFTER.ClassLevelCoding", dyn, true);
  for (int l = 0; l < v.levelCount; ++l) {
    fillField(classText, w.name, l == 0 ? std::string_view(name) : std::string_view());
    fillField(valueText, w.buffer, levelText(v, l));
    if (coded) {
      zlvlcode(&v, row, l, columns, 1.0);
    } else {
      for (int j = 0; j < columns; ++j) row[j] = j == l ? 1.0 : 0.0;
    }
    t.row();
  }
  t.close();
  t.release();
}

}  // namespace

// Returns 0 (a variable without levels has no table), or -2 when a buffer cannot be had.
int printClassLevelCoding(StepView* s, HostPool* allocator) {
  DisplayClock clock(&s->output);
  const ZDesign* d = s->lev.design;
  if (!d || d->classCount <= 0) return 0;
  auto take = [&](size_t n) {
    return allocator ? kernel().poolAlloc(allocator, std::max<size_t>(n, 1), kAllocZero) : nullptr;
  };
  auto* used = static_cast<uint8_t*>(take(d->classCount));
  if (!used) return rc::kMemory;
  markUsed(d, used);
  CodingWidths w;
  int largestLevels = 1;
  for (int32_t c = 0; c < d->classCount; ++c) {
    if (!used[c]) continue;
    const LevelVar& v = d->classVars[c];
    w.name = std::max(w.name, static_cast<int>(nameOf(v).size()));
    for (int l = 0; l < v.levelCount; ++l)
      w.value = std::max(w.value, static_cast<int>(levelText(v, l).size()));
    w.buffer = std::max(w.buffer, v.formattedWidth);
    largestLevels = std::max(largestLevels, v.levelCount);
  }
  w.buffer = std::max(w.buffer, w.value);
  auto* classText = static_cast<char*>(take(w.name));
  auto* valueText = static_cast<char*>(take(w.buffer));
  auto* row = static_cast<double*>(take(sizeof(double) * largestLevels));
  if (!classText || !valueText || !row) return rc::kMemory;

  const bool coded = (d->flags & dflag::kFullRank) != 0;
  void* group = openGroup(&s->output, "Coding", msgStr(585), {argFlag(dkey::kFlag435, 0)});
  bool first = true;
  for (int32_t c = 0; c < d->classCount; ++c) {
    const LevelVar& v = d->classVars[c];
    if (!used[c] || v.levelCount <= 0) continue;
    codingTable(s, v, coded, first, w, classText, valueText, row);
    first = false;
  }
  groupAttributes(&s->output, {argInt(key::kGroupLevel, 2)});
  closeGroup(&s->output, group);
  kernel().poolFree(allocator, row);
  return 0;
}

}  // namespace vsf
