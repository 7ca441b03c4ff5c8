// Valid level names and the joining of variable-based column names and labels, in fixed-width
// blank-padded fields: names 32 bytes, labels 256.
#include <algorithm>
#include <cstring>
#include <string>

#include "base/strings.h"
#include "design/validnames_internal.h"

namespace vsf {

namespace {

constexpr int kName = 32;
constexpr int kLabel = 256;

std::string_view cut(std::string_view s, int n) {
  return s.substr(0, std::min(s.size(), static_cast<size_t>(n > 0 ? n : 0)));
}

void append(std::string& to, std::string_view s, int limit) {
  to.append(cut(s, limit - static_cast<int>(to.size())));
}

// Joins a label part after the separator when both sides have text.
void appendLabel(std::string& to, std::string_view sep, std::string_view s) {
  if (!to.empty() && !s.empty()) append(to, sep, kLabel);
  append(to, s, kLabel);
}

// A level text that reads as a number becomes name characters: "+" P, "-" N, "." D.
void numberToName(char* field, int width, ValidNames mode) {
  zjustify(field, width, 'l', nullptr, nullptr);
  char* zero = static_cast<char*>(std::memchr(field, '\0', static_cast<size_t>(width)));
  if (zero) std::memset(zero, ' ', static_cast<size_t>(field + width - zero));
  if (mode == ValidNames::kAny) return;
  int n = ztrimlen(field, width);
  static const char kNumber[] = "1234567890.-+E";
  static const char kNameChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz0123456789";
  if (n == 0 || field[0] == 'E' || zverify(field, n, kNumber, 14) >= 0) return;
  for (int i = 0; i < n; ++i) {
    if (std::strchr(kNameChars, field[i])) continue;
    field[i] = field[i] == '+' ? 'P' : field[i] == '-' ? 'N' : field[i] == '.' ? 'D' : '_';
  }
}

// Label prefix, separator and level text within 256 bytes. Without a given label-prefix
// length the longer side gives way first, each keeping at least 128 when both are long.
void prefixLabel(NameRecord& r, char* text, std::string_view prefix, bool prefixGiven) {
  std::string_view sep = prefix.empty() ? std::string_view() : std::string_view(" ");
  std::string_view body = fieldText(text, kLabel);
  int a = static_cast<int>(prefix.size()), s = static_cast<int>(sep.size());
  int t = static_cast<int>(body.size());
  if (!prefixGiven && a + s + t > kLabel) {
    if (t > 128 - s) {
      if (a <= 128) {
        t = kLabel - (s + a);
      } else {
        t = 128 - s;
        a = 128;
      }
    } else if (a > 128) {
      a = kLabel - (s + t);
    }
  }
  while (a + s + t > kLabel) {
    if (t <= a && a > 8) --a;
    if (a <= t && t > 8) --t;
    if (a < s && t < s && s > 8) --s;
  }
  std::string joined;
  joined.append(cut(prefix, a)).append(cut(sep, s)).append(cut(body, t));
  setField(r.work, kLabel, joined);
  std::memcpy(text, r.work, kLabel);
}

}  // namespace

void setField(char* field, int width, std::string_view text) {
  zcopypad(text.data(), static_cast<int>(text.size()), field, width);
}

std::string_view fieldText(const char* field, int width) {
  return std::string_view(field, static_cast<size_t>(ztrimlen(field, width)));
}

int namePrefixLength(const NameRecord& r, int limit) {
  int cp = r.cprefix >= 0 ? r.cprefix : limit - std::min(limit, std::max(2, r.valueWidth));
  if (cp != 0) cp = std::min(cp, static_cast<int>(fieldText(r.name, kName).size()));
  return cp;
}

std::vector<NameRecord> znamerecs(int n) {
  std::vector<NameRecord> records(static_cast<size_t>(n > 0 ? n : 0));
  for (NameRecord& r : records) {
    std::memset(r.name, ' ', kName);
    std::memset(r.work, ' ', kLabel);
    std::memset(r.label, ' ', kLabel);
  }
  return records;
}

// zvalidname: each level's long texts get the variable's label in front, its coded short text
// and level name become valid names, the level name behind the variable's name prefix.
void zvalidname(NameRecord* first, int n) {
  ValidNames mode = validNames();
  int limit = mode == ValidNames::kV6 ? 8 : 32;
  for (NameRecord* r = first; r < first + n; ++r) {
    int cp = namePrefixLength(*r, limit);
    std::string_view prefix = fieldText(r->label, kLabel);
    if (r->lprefix >= 0) prefix = cut(prefix, r->lprefix);
    std::string_view name = fieldText(r->name, kName);
    for (LevelNameRecord& level : r->levels) {
      prefixLabel(*r, level.longText, prefix, r->lprefix >= 0);
      prefixLabel(*r, level.codedLong, prefix, r->lprefix >= 0);
      if (!fieldText(level.codedShort, kName).empty()) numberToName(level.codedShort, kName, mode);
      char text[kName];
      std::memcpy(text, level.shortText, kName);
      numberToName(text, kName, mode);
      std::string joined(cut(name, cp));
      append(joined, fieldText(text, kName), kName);
      setField(level.levelName, kName, hostNameCase(joined, mode));
    }
  }
}

// zcolnamebuild: the column's name is its CLASS and design-variable part, then as much of each
// continuous variable's name as leaves one character for every one still to come; its label
// joins the members' labels and the continuous variables' labels with the separator.
void zcolnamebuild(ColumnNameRecord* first, int n) {
  int limit = validNames() == ValidNames::kV6 ? 8 : 32;
  for (ColumnNameRecord* col = first; col < first + n; ++col) {
    std::string N, L1, C, L2;
    for (size_t i = 0; i < col->members.size(); ++i) {
      const LevelNameRecord* m = col->members[i];
      if (!m) continue;
      if (static_cast<int>(i) < col->leading) {
        const NameRecord& owner = *m->owner;
        std::string piece(cut(fieldText(owner.name, kName), namePrefixLength(owner, limit)));
        append(piece, fieldText(m->codedShort, kName), kName);
        append(N, piece, kName);
        appendLabel(L1, col->separator, fieldText(m->codedLong, kLabel));
      } else {
        append(N, fieldText(m->levelName, kName), kName);
        appendLabel(L1, col->separator, fieldText(m->longText, kLabel));
      }
    }
    int c = static_cast<int>(col->continuous.size());
    for (int i = 0; i < c; ++i) {
      const ContinuousNameRecord* v = col->continuous[static_cast<size_t>(i)];
      std::string_view name = fieldText(v->name, kName);
      int room = kName - static_cast<int>(N.size() + C.size()) - (c - 1 - i);
      if (room > 0) C.append(cut(name, room));
      std::string_view label = fieldText(v->label, kLabel);
      bool alone = c == 1 && col->members.empty();
      appendLabel(L2, col->separator, !label.empty() || alone ? label : name);
    }
    std::string name = N + C;
    setField(col->name, kName, cut(name, kName));
    std::string label = L1;
    appendLabel(label, col->separator, L2);
    setField(col->label, kLabel, cut(label, kLabel));
  }
}

}  // namespace vsf
