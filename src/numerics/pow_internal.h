// x^y for x > 0 and a fractional y of at most 2^31 in magnitude, by the fdlibm algorithm.
#pragma once

namespace vsf::num {

// An overflowing result gives the missing value; an underflowing one 0.
double fdlibmPow(double x, double y);

}  // namespace vsf::num
