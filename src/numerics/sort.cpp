// Shell sorts of doubles and ints, in place or through an index permutation. The gaps are n
// rounded up to a power of two and halved before each pass (n = 10: 8, 4, 2, 1).
#include <utility>

#include "numerics/numerics.h"

namespace vsf {

namespace {

// Out of order means entry j sorts after entry j + g; equal entries never move, and a NaN
// never compares greater, so it is never moved by a comparison of its own.
template <typename V>
void shellSort(V* values, uint32_t n, uint32_t* index, int8_t ascending) {
  int64_t g = 1;
  while (g < static_cast<int64_t>(n)) g *= 2;
  auto at = [&](int64_t i) { return index ? values[index[i]] : values[i]; };
  auto outOfOrder = [&](int64_t j, int64_t k) {
    return ascending == 1 ? at(j) > at(k) : at(k) > at(j);
  };
  while (g > 1) {
    g /= 2;
    for (int64_t i = 0; i + g < static_cast<int64_t>(n); ++i) {
      for (int64_t j = i; j >= 0 && outOfOrder(j, j + g); j -= g) {
        if (index)
          std::swap(index[j], index[j + g]);
        else
          std::swap(values[j], values[j + g]);
      }
    }
  }
}

}  // namespace

void shellSortDoubles(double* values, uint32_t n, uint32_t* index, int8_t ascending) {
  shellSort(values, n, index, ascending);
}

void shellSortInts(int32_t* values, uint32_t n, uint32_t* index, int8_t ascending) {
  shellSort(values, n, index, ascending);
}

}  // namespace vsf
