// The crossproducts provider's operations; none until the selection engine exists.
#include "selection/selection.h"

namespace vsf {

void zsscpset(SscpProvider*) {}

}  // namespace vsf
