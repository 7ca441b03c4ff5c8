// The fuzz test's mutators: programs and CSV data sets changed at random, from a seed, so that
// one case number always gives the same program and data.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace vsf::test {

using FuzzRandom = std::mt19937_64;

// One to four changes of the program's tokens: deleted, repeated, swapped, replaced by a
// keyword, a variable or an extreme number, punctuation or a byte put in, the text cut short.
std::string mutateProgram(const std::string& program, FuzzRandom& random);

// One to four changes of a CSV file's cells and lines: extreme, missing or text values,
// ragged, repeated or lost lines, odd header names, quotes and bytes, a scaled column, CRLF
// line ends, a byte-order mark, the file cut short.
std::string mutateCsv(const std::string& csv, FuzzRandom& random);

}  // namespace vsf::test
