// Reading the parsed statements: a record by its name, the names of a list, and a slot's
// value when it was given, the reader's default otherwise.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

#include "frame/host/parse.h"
#include "grammar/slots.h"

namespace vsf {

// The i-th name (from 0) of a chunked name list: 0 and the name, or 1 when the list is null
// or holds fewer than i + 1 names.
int zlstget(const NameChunkList* list, int i, std::string_view* name);

// The first parsed statement whose name is `name` (compared over at most 32 characters,
// trailing blanks ignored), or null.
const StatementRecord* findStatement(std::string_view name);

class Slots {
 public:
  explicit Slots(const StatementRecord* r) : r_(r) {}

  bool given(int k) const {
    const OptionSlot* s = slot(k);
    return s && s->given;
  }
  double number(int k, double fallback) const { return given(k) ? slot(k)->number : fallback; }
  // The number as an i32, saturated.
  int32_t integer(int k, int32_t fallback) const {
    if (!given(k)) return fallback;
    double v = std::trunc(slot(k)->number);
    if (!(v == v)) return fallback;
    if (v > 2147483647.0) return 2147483647;
    if (v < -2147483647.0) return -2147483647;
    return static_cast<int32_t>(v);
  }
  HostDataSet* dataSet(int k) const { return given(k) ? slot(k)->dataSet : nullptr; }
  int count(int k) const { return given(k) ? slot(k)->count : 0; }
  // The first name of the slot's list; empty when there is none.
  std::string_view firstName(int k) const {
    std::string_view n;
    if (given(k) && zlstget(slot(k)->names, 0, &n) == 0) return n;
    return {};
  }
  bool flag(int n) const { return r_ && r_->flag(n); }
  const OptionSlot* slot(int k) const { return r_ ? r_->slot(k) : nullptr; }

 private:
  const StatementRecord* r_;
};

}  // namespace vsf
