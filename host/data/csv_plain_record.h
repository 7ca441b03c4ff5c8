// A quick test of a whole record of plain numbers, sixty-four bytes at a time: most records of
// most files are only digits, points, signs and commas, and the check of the text need not
// walk them byte by byte.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vsf::host {

// When the record of `text` starting at `pos` is `columns` fields, each a plain number the
// byte-by-byte reader would take ([+-]digits[.digits] with 1 to 15 digits), ended by '\n' or
// by the end of the text: the position after its line end. Otherwise npos, and the caller
// reads the record field by field (quotes, exponents, missing values, '\r' and every fault
// take that road).
size_t plainRecordEnd(std::string_view text, size_t pos, int columns);
// The same with text columns (`texts`, a flag per column): their fields may hold anything but
// quotes and carriage returns. Each field's end goes to ends[j].
size_t plainRecordEnd(std::string_view text, size_t pos, int columns, const char* texts,
                      size_t* ends);

// The two ways plainRecordEnd takes, held to each other by the tests: on the processor's bit
// masks at once when it has AVX-512 and BMI2 (wideRecordCheck), else field by field. The wide
// ones return npos where the processor lacks them.
bool wideRecordCheck();
size_t plainRecordEndWide(std::string_view text, size_t pos, int columns);
size_t plainRecordEndWide(std::string_view text, size_t pos, int columns, const char* texts,
                          size_t* ends);
// The record read at once where the processor has AVX-512: as plainRecordEnd, the columns
// without a vector in `numbers` taken as text columns, and every other field's number pushed
// onto its column, exactly as the byte-by-byte reader makes it; every field's end to ends[j].
// npos, the columns left as they were, where the processor lacks it and for any record
// plainRecordEnd would not take.
size_t plainRecordIntoWide(std::string_view text, size_t pos, int columns,
                           std::vector<double>* const* numbers, size_t* ends);
size_t plainRecordEndBaseline(std::string_view text, size_t pos, int columns);
size_t plainRecordEndBaseline(std::string_view text, size_t pos, int columns, const char* texts,
                              size_t* ends);

}  // namespace vsf::host
