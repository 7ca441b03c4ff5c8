// Pieces of the normal distribution shared inside the library.
#pragma once

namespace vsf::num {

// erfc(y) for y >= 0 (Cody's three ranges), given also x = y sqrt 2 >= 0, from which the
// factor e^(-y^2) is computed.
double erfcPositive(double y, double x);

}  // namespace vsf::num
