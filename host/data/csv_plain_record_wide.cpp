// The quick test of a record of plain numbers with AVX-512 and BMI2, on processors that have
// them: a 64-byte block's byte classes come from one compare each, and the fields' rules are
// checked on the block's bit masks at once instead of field by field. Squeezing the commas out
// of the mask of commas and digits (or of commas and points) leaves, per field, its digits (or
// points) between two commas, so that a field without a digit is two commas in a row, one with
// two points is two points in a row, and one of more than 15 digits a run of 16 zeros.
#include <bit>
#include <cstdint>
#include <string_view>

#include "host/data/csv_plain_record.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VSF_WIDE_RECORDS 1
#endif

namespace vsf::host {

#ifdef VSF_WIDE_RECORDS

#define VSF_WIDE __attribute__((target("avx512f,avx512bw,bmi,bmi2,popcnt,lzcnt")))

namespace {

VSF_WIDE inline uint64_t lowBits(int k) { return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1; }

// True when `z` holds a run of 16 set bits.
VSF_WIDE inline bool run16(uint64_t z) {
  z &= z >> 1;
  z &= z >> 2;
  z &= z >> 4;
  z &= z >> 8;
  return z != 0;
}

}  // namespace

bool wideRecordCheck() {
  // Every instruction the wide code (and the wide read of numbers) is compiled for: LZCNT and
  // TZCNT run as BSR and BSF, with other answers, where they are missing.
  static const bool wide = __builtin_cpu_supports("avx512f") &&
                           __builtin_cpu_supports("avx512bw") &&
                           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("bmi") &&
                           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt") &&
                           __builtin_cpu_supports("lzcnt");
  return wide;
}

// Both kinds of record: `texts` null (every column a number) or a flag per column, whose text
// fields are left out of the numbers' masks and whose ends go to ends[j] with every field's.
template <bool withTexts>
VSF_WIDE size_t recordEndWide(std::string_view text, size_t pos, int columns, const char* texts,
                              size_t* ends) {
  const size_t n = text.size();
  const __m512i zero = _mm512_set1_epi8('0'), nine = _mm512_set1_epi8(9);
  const __m512i point = _mm512_set1_epi8('.'), comma = _mm512_set1_epi8(',');
  const __m512i minus = _mm512_set1_epi8('-'), plus = _mm512_set1_epi8('+');
  const __m512i newline = _mm512_set1_epi8('\n'), quote = _mm512_set1_epi8('"');
  const __m512i ret = _mm512_set1_epi8('\r');
  int field = 0;           // the open field
  int openDigits = 0;      // digits of the open number so far
  bool openPoint = false;  // the open number has its point
  bool afterComma = true;  // a sign may open the next byte's field
  size_t at = pos;
  for (;;) {
    const int limit = static_cast<int>(n - at < 64 ? n - at : 64);
    const uint64_t inText = lowBits(limit);
    // Masked bytes are not read: the block never reaches past the text.
    const __m512i v = _mm512_maskz_loadu_epi8(inText, text.data() + at);
    const uint64_t lines = _mm512_cmpeq_epi8_mask(v, newline) & inText;
    const int valid = lines ? std::countr_zero(lines) : limit;
    const uint64_t in = lowBits(valid);
    const uint64_t commas = _mm512_cmpeq_epi8_mask(v, comma) & in;
    // The commas that end numbers: each number's digits and points lie between two of them.
    uint64_t numberEnds = commas, texted = 0;
    if constexpr (withTexts) {
      if (((_mm512_cmpeq_epi8_mask(v, quote) | _mm512_cmpeq_epi8_mask(v, ret)) & in) != 0)
        return std::string_view::npos;
      int from = 0;
      for (uint64_t c = commas; c != 0; c &= c - 1) {
        const int k = std::countr_zero(c);
        if (field + 1 >= columns) return std::string_view::npos;
        if (texts[field]) {
          texted |= lowBits(k) & ~lowBits(from);
          numberEnds &= ~(uint64_t{1} << k);
        }
        ends[field++] = at + static_cast<size_t>(k);
        from = k + 1;
      }
      if (texts[field]) texted |= in & ~lowBits(from);
    } else {
      field += std::popcount(commas);
      if (field >= columns) return std::string_view::npos;
    }
    const uint64_t number = in & ~texted;
    const uint64_t digit = _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, zero), nine) & number;
    const uint64_t points = _mm512_cmpeq_epi8_mask(v, point) & number;
    const uint64_t signs =
        (_mm512_cmpeq_epi8_mask(v, minus) | _mm512_cmpeq_epi8_mask(v, plus)) & number;
    if ((number & ~(digit | points | commas | signs)) != 0) return std::string_view::npos;
    // A sign only opens a field.
    if ((signs & ~((commas << 1) | uint64_t{afterComma})) != 0) return std::string_view::npos;
    if (valid > 0) afterComma = (commas >> (valid - 1)) & 1;
    // Digits and number ends in order, an end a set bit: each number's digits are the zeros
    // between two set bits.
    const int k = std::popcount(digit | numberEnds);
    const uint64_t seq = _pext_u64(numberEnds, digit | numberEnds);
    const uint64_t digits = ~seq & lowBits(k);
    if ((seq & (seq >> 1)) != 0 || (openDigits == 0 && (seq & 1))) return std::string_view::npos;
    const int leading = seq ? std::countr_zero(seq) : k;
    if (openDigits + leading > 15 || run16(digits)) return std::string_view::npos;
    openDigits = seq ? k - 1 - (63 - std::countl_zero(seq)) : openDigits + k;
    // Points and number ends in order: two points in a row share a number.
    const int kp = std::popcount(points | numberEnds);
    const uint64_t dots = _pext_u64(points, points | numberEnds);
    if ((dots & (dots >> 1)) != 0 || (openPoint && (dots & 1))) return std::string_view::npos;
    if (kp > 0) openPoint = (dots >> (kp - 1)) & 1;
    if (lines || limit < 64) {
      // The last field ends at the line end (or the text's).
      const bool lastNumber = !withTexts || !texts[field];
      if (field + 1 != columns || (lastNumber && (openDigits == 0 || openDigits > 15)))
        return std::string_view::npos;
      const size_t end = at + static_cast<size_t>(valid);
      if constexpr (withTexts) ends[field] = end;
      return end < n ? end + 1 : n;
    }
    at += 64;
  }
}

VSF_WIDE size_t plainRecordEndWide(std::string_view text, size_t pos, int columns) {
  return recordEndWide<false>(text, pos, columns, nullptr, nullptr);
}

VSF_WIDE size_t plainRecordEndWide(std::string_view text, size_t pos, int columns,
                                   const char* texts, size_t* ends) {
  return recordEndWide<true>(text, pos, columns, texts, ends);
}

#else

bool wideRecordCheck() { return false; }
size_t plainRecordEndWide(std::string_view, size_t, int) { return std::string_view::npos; }
size_t plainRecordEndWide(std::string_view, size_t, int, const char*, size_t*) {
  return std::string_view::npos;
}

#endif

}  // namespace vsf::host
