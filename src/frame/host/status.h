// Step codes, host statuses and arithmetic faults shared by the procedure and the host (the
// procedure's internal return codes are in base/codes.h).
#pragma once

#include <cstdint>
#include <exception>

namespace vsf {

// Step return codes; the step code only rises.
namespace step {
constexpr int kSuccess = 0;
constexpr int kWarning = 4;
constexpr int kLevelization108 = 108;
constexpr int kLevelization112 = 112;
constexpr int kOutputRefused = 120;
constexpr int kInternal = 1012;
constexpr int kMemory = 1016;
constexpr int kHistory = 1020;
constexpr int kEffect = 2000;
constexpr int kStatement = 3000;
}  // namespace step

// Host statuses the procedure tests for.
namespace hs {
constexpr uint32_t kNoOperation = 0x80008001u;  // no handler for an output operation
constexpr uint32_t kNvAbsent = 0x803FC26Au;     // name/value key absent (counts as success on set)
constexpr uint32_t kNvWrongType = 0x803FC009u;  // name/value type mismatch: retry as text
constexpr uint32_t kNvWrongType2 = 0x803FC264u;
constexpr uint32_t kNoWaitObject = 0x803FC009u;
constexpr uint32_t kVarNotFound = 0x8001F82Du;     // data-set variable not found
constexpr uint32_t kNvBadValue = 0x8C7FE865u;      // stored keyword not recognised
constexpr uint32_t kNvLimitReached = 0x8C7FE866u;  // countdown reached its end
constexpr uint32_t kItoaOverflow = 0x8000200Du;
constexpr uint32_t kBadRequest = 0x803FC00Cu;  // a callback request the host cannot run
constexpr uint32_t kRequestIo = 0x803FC00Du;   // the host's own files of a request failed
}  // namespace hs

// Arithmetic faults, raised where the numerical code finds them and caught by the host's step
// runner (which issues an error and ends the step with step::kInternal).
namespace fault {
constexpr uint32_t kDomain = 0xE0000001u;
constexpr uint32_t kDivideByZero = 0xC000008Eu;
constexpr uint32_t kInvalid = 0xC0000090u;
constexpr uint32_t kOverflow = 0xC0000091u;
}  // namespace fault

class NumericFault : public std::exception {
 public:
  explicit NumericFault(uint32_t code) : code_(code) {}
  uint32_t code() const noexcept { return code_; }
  const char* what() const noexcept override { return "numeric fault"; }

 private:
  uint32_t code_;
};

// Step code arithmetic: the larger of the old and the new value.
inline void raiseStepCode(int& stepCode, int code) {
  if (code > stepCode) stepCode = code;
}

}  // namespace vsf
