// Pieces of the normal distribution shared inside the library.
#pragma once

namespace vsf::num {

// erfc(y) for y >= 0 (Cody's three ranges).
double erfcPositive(double y);

}  // namespace vsf::num
