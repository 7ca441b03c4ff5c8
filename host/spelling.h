// The word a misspelling most likely stands for, for "did you mean" hints.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vsf::host {

// The candidate nearest to `word` (case ignored) by edit distance, an adjacent swap counting as
// one edit, when it is near enough to be a misspelling of it: one edit for words of up to four
// letters, two up to eight, three beyond. Empty when none is, or when two are equally near.
std::string nearestWord(std::string_view word, const std::vector<std::string>& candidates);

}  // namespace vsf::host
