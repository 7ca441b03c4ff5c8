// One insertion of a catalogue message: a number or a text (length and bytes).
#pragma once

#include <cstdint>
#include <string_view>

namespace vsf {

struct MsgArg {
  enum class Kind : uint8_t { kInt, kDouble, kText };
  Kind kind = Kind::kInt;
  int64_t i = 0;
  double d = 0.0;
  std::string_view s;

  MsgArg(int v) : kind(Kind::kInt), i(v) {}
  MsgArg(long v) : kind(Kind::kInt), i(v) {}
  MsgArg(long long v) : kind(Kind::kInt), i(v) {}
  MsgArg(unsigned v) : kind(Kind::kInt), i(v) {}
  MsgArg(double v) : kind(Kind::kDouble), d(v) {}
  MsgArg(std::string_view v) : kind(Kind::kText), s(v) {}
  MsgArg(const char* v) : kind(Kind::kText), s(v) {}
};

}  // namespace vsf
