// Data-set services: no data set can be opened yet.
#include "host/session.h"

namespace vsf::host {

namespace {

HostDataSet* open(std::string_view, int, uint32_t* status) {
  if (status) *status = hs::kVarNotFound;
  return nullptr;
}
std::string lastName() { return session().lastDataSet; }

}  // namespace

const HostDsFamily kDsFamily = [] {
  HostDsFamily f{};
  f.open = open;
  f.lastName = lastName;
  return f;
}();

}  // namespace vsf::host
