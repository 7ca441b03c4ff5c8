#include "grammar/slot_reader.h"

#include <algorithm>

#include "base/host.h"
#include "base/strings.h"

namespace vsf {

int zlstget(const NameChunkList* list, int i, std::string_view* name) {
  int first = 0;
  while (list && i > list->lastIndex) {
    first = list->lastIndex + 1;
    list = list->next;
  }
  if (!list || i < first) return 1;
  size_t k = static_cast<size_t>(i - first);
  if (k >= list->names.size()) return 1;
  *name = list->names[k];
  return 0;
}

const StatementRecord* findStatement(std::string_view name) {
  std::string_view want = trimRight(name.substr(0, std::min<size_t>(name.size(), 32)));
  for (const StatementRecord* r = hostv().parse->firstStatement(); r; r = r->next) {
    std::string_view have(r->name);
    have = trimRight(have.substr(0, std::min<size_t>(have.size(), 32)));
    if (have == want) return r;
  }
  return nullptr;
}

}  // namespace vsf
