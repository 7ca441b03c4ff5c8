// The output root: creates the manager and answers its requests.
#include <array>

#include "host/session.h"

namespace vsf::host {

namespace {

struct Manager : HostObject {};

int managerQuery(HostObject*, void*, void*, int count, OutputArgItem* items) {
  for (int i = 0; i < count; ++i)
    if (items[i].key == key::kGraphicsOn) {
      int32_t on = 1;
      std::memcpy(items[i].value + 4, &on, 4);
    }
  return 0;
}

int managerOk(HostObject*, void*, void*, int, OutputArgItem*) { return 0; }

HandlerEntry kQueryEntry{nullptr, nullptr, managerQuery, nullptr, op::kQuery};
HandlerEntry kGroupEntry{nullptr, nullptr, managerOk, nullptr, op::kGroupAttributes};
std::array<HandlerEntry*, 16> managerBuckets() {
  std::array<HandlerEntry*, 16> b{};
  b[op::kQuery & 15] = &kQueryEntry;
  kGroupEntry.next = b[op::kGroupAttributes & 15];
  b[op::kGroupAttributes & 15] = &kGroupEntry;
  return b;
}
const std::array<HandlerEntry*, 16> kManagerBuckets = managerBuckets();
const HandlerTable kManagerTable{nullptr, kManagerBuckets.data(), 15};
Manager gManager;

int rootCreate(HostObject*, void*, void*, int count, OutputArgItem* items) {
  gManager.table = &kManagerTable;
  for (int i = 0; i < count; ++i)
    if (items[i].key == key::kHandle) *static_cast<void**>(items[i].pointerValue()) = &gManager;
  return 0;
}

HandlerEntry kCreateEntry{nullptr, nullptr, rootCreate, nullptr, op::kCreate};
std::array<HandlerEntry*, 16> rootBuckets() {
  std::array<HandlerEntry*, 16> b{};
  b[op::kCreate & 15] = &kCreateEntry;
  return b;
}
const std::array<HandlerEntry*, 16> kRootBuckets = rootBuckets();
const HandlerTable kRootTable{nullptr, kRootBuckets.data(), 15};
HostObject gRoot{&kRootTable};

}  // namespace

HostObject* outputRoot() { return &gRoot; }

}  // namespace vsf::host
