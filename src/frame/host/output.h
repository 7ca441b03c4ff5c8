// The host output system: objects driven by numbered operations with argument records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace vsf {

struct HostString;  // host string handle (frame/host/families.h)

// Operation ids.
namespace op {
constexpr uint32_t kCreate = 147;
constexpr uint32_t kDefineColumn = 338;
constexpr uint32_t kEndColumns = 298;
constexpr uint32_t kSetDynamic = 316;
constexpr uint32_t kBindTemplate = 422;
constexpr uint32_t kWriteRow = 329;
constexpr uint32_t kClose = 299;
constexpr uint32_t kRelease = 428;
constexpr uint32_t kFactoidRow = 164;
constexpr uint32_t kOpenGroup = 300;
constexpr uint32_t kGroupAttributes = 439;
constexpr uint32_t kCenteredText = 358;
constexpr uint32_t kFilteredView = 708;
constexpr uint32_t kReleaseView = 494;
constexpr uint32_t kRenderGraph = 2826;
constexpr uint32_t kQuery = 442;
constexpr uint32_t kCloseHandle = 4;  // a group handle's own close
}  // namespace op

// Argument keys.
namespace key {
constexpr uint16_t kColumnKind = 103;
constexpr uint16_t kWhere = 105;
constexpr uint16_t kName = 138;
constexpr uint16_t kSystem = 143;
constexpr uint16_t kHandle = 144;
constexpr uint16_t kKind = 146;
constexpr uint16_t kMinusOne = 148;
constexpr uint16_t kLabel = 267;
constexpr uint16_t kJustify = 273;
constexpr uint16_t kValue = 285;
constexpr uint16_t kDynamicValue = 287;
constexpr uint16_t kLabel2 = 296;
constexpr uint16_t kTitle = 310;
constexpr uint16_t kDynamicName = 311;
constexpr uint16_t kView = 321;
constexpr uint16_t kTemplate = 339;
constexpr uint16_t kGroupLevel = 442;
constexpr uint16_t kTable = 504;
constexpr uint16_t kText = 577;
constexpr uint16_t kFilterData = 784;
constexpr uint16_t kGraphicsOn = 1334;
constexpr uint16_t kGraphData = 2829;
}  // namespace key

// Argument types.
namespace argtype {
constexpr uint16_t kChar = 1;
constexpr uint16_t kInt = 3;
constexpr uint16_t kDouble = 5;
constexpr uint16_t kOutHandle = 12;
constexpr uint16_t kFlag = 13;
constexpr uint16_t kBound = 17;
constexpr uint16_t kBytes = 20;
constexpr uint16_t kDataObject = 27;
constexpr uint16_t kString = 66;
constexpr uint16_t kOutHandle2 = 67;
}  // namespace argtype

// The 24-byte argument record of an output operation.
struct OutputArgItem {
  uint16_t key = 0;
  uint16_t type = 0;
  uint32_t reserved = 0;
  unsigned char value[8] = {};
  void* aux = nullptr;

  int32_t intValue() const {
    int32_t v;
    std::memcpy(&v, value, 4);
    return v;
  }
  double doubleValue() const {
    double v;
    std::memcpy(&v, value, 8);
    return v;
  }
  void* pointerValue() const {
    void* v;
    std::memcpy(&v, value, sizeof v);
    return v;
  }
  int32_t flagValue() const {
    int32_t v;
    std::memcpy(&v, value + 4, 4);
    return v;
  }
  uint16_t bytesLength() const {
    uint16_t v;
    std::memcpy(&v, value + 2, 2);
    return v;
  }
  std::string_view bytes() const {
    return std::string_view(static_cast<const char*>(aux), bytesLength());
  }
};
static_assert(sizeof(OutputArgItem) == 24, "output argument records are 24 bytes");

inline OutputArgItem argInt(uint16_t k, int32_t v) {
  OutputArgItem a;
  a.key = k;
  a.type = argtype::kInt;
  std::memcpy(a.value, &v, 4);
  return a;
}
inline OutputArgItem argDouble(uint16_t k, double v) {
  OutputArgItem a;
  a.key = k;
  a.type = argtype::kDouble;
  std::memcpy(a.value, &v, 8);
  return a;
}
inline OutputArgItem argChar(uint16_t k, char c) {
  OutputArgItem a;
  a.key = k;
  a.type = argtype::kChar;
  a.value[0] = static_cast<unsigned char>(c);
  return a;
}
inline OutputArgItem argFlag(uint16_t k, int32_t v) {
  OutputArgItem a;
  a.key = k;
  a.type = argtype::kFlag;
  std::memcpy(a.value + 4, &v, 4);
  return a;
}
inline OutputArgItem argBytes(uint16_t k, std::string_view s) {
  OutputArgItem a;
  a.key = k;
  a.type = argtype::kBytes;
  uint16_t n = static_cast<uint16_t>(s.size());
  std::memcpy(a.value + 2, &n, 2);
  a.aux = const_cast<char*>(s.data());
  return a;
}
inline OutputArgItem argPointer(uint16_t k, uint16_t type, const void* p) {
  OutputArgItem a;
  a.key = k;
  a.type = type;
  std::memcpy(a.value, &p, sizeof p);
  return a;
}
inline OutputArgItem argOutHandle(uint16_t k, void** out) {
  return argPointer(k, argtype::kOutHandle, out);
}
inline OutputArgItem argString(uint16_t k, HostString* s) {
  return argPointer(k, argtype::kString, s);
}
inline OutputArgItem argBound(uint16_t k, const void* p) {
  return argPointer(k, argtype::kBound, p);
}
inline OutputArgItem argDataObject(uint16_t k, int32_t flag, void* object) {
  OutputArgItem a;
  a.key = k;
  a.type = argtype::kDataObject;
  std::memcpy(a.value + 2, &flag, 4);
  a.aux = object;
  return a;
}

// Host objects carry a chain of handler tables; zhdlcall finds the method by operation id.
struct HostObject;
using HandlerFn = int (*)(HostObject* object, void* entryArgument, void* data, int count,
                          OutputArgItem* items);

struct HandlerEntry {
  HandlerEntry* next = nullptr;
  void* argument = nullptr;
  HandlerFn routine = nullptr;
  void* data = nullptr;
  uint32_t id = 0;
};

struct HandlerTable {
  const HandlerTable* parent = nullptr;
  HandlerEntry* const* buckets = nullptr;
  uint32_t mask = 0;
};

// Every host object begins with its handler table.
struct HostObject {
  const HandlerTable* table = nullptr;
};

}  // namespace vsf
