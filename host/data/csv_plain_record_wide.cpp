// The quick test of a record of plain numbers with AVX-512 and BMI2, on processors that have
// them: a 64-byte block's byte classes come from one compare each, and the fields' rules are
// checked on the block's bit masks at once instead of field by field. Squeezing the commas out
// of the mask of commas and digits (or of commas and points) leaves, per field, its digits (or
// points) between two commas, so that a field without a digit is two commas in a row, one with
// two points is two points in a row, and one of more than 15 digits a run of 16 zeros.
// The read of such a record finds its fields from the same masks and converts each number
// from its own 16 bytes at once (its digits gathered by one shuffle and added up in pairs,
// fours and eights), so that no field waits for the byte-by-byte walk of the one before it.
#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/data/csv_plain_record.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VSF_WIDE_RECORDS 1
#endif

namespace vsf::host {

#ifdef VSF_WIDE_RECORDS

#define VSF_WIDE __attribute__((target("avx512f,avx512bw,avx512vl,bmi,bmi2,popcnt,lzcnt")))

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

constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The field [s, e) when it is [+-]digits[.digits] with 1 to 15 digits: its value, exactly as
// the byte-by-byte reader makes it (the digits are an exact integer below 2^53, divided by an
// exact power of ten). False for anything else.
VSF_WIDE __attribute__((always_inline)) inline bool plainValue(const char* s, const char* e,
                                                               const char* textEnd, double* out) {
  const bool negative = s < e && *s == '-';
  s += s < e && (*s == '-' || *s == '+');
  const int len = static_cast<int>(e - s);
  if (len < 1 || len > 16) return false;
  const uint32_t in = (1u << len) - 1;
  // Nothing past the text is read: near its end only the field's bytes are.
  const __m128i bytes = textEnd - s >= 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(s))
                                          : _mm_maskz_loadu_epi8(static_cast<__mmask16>(in), s);
  const __m128i x = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const uint32_t digitMask = static_cast<uint32_t>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(9)), x)));
  const uint32_t points =
      static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.')))) & in;
  if (((digitMask | points) & in) != in || (points & (points - 1)) != 0) return false;
  const int point = points ? std::countr_zero(points) : len;
  const int digits = len - (points != 0);
  if (digits < 1 || digits > 15) return false;
  const int fraction = points ? len - point - 1 : 0;
  // Output byte k takes digit i = k - (16 - digits), which lies at byte i, or i + 1 past the
  // point; the bytes before the first digit are zeros.
  const __m128i iota = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i at = _mm_add_epi8(iota, _mm_set1_epi8(static_cast<char>(digits - 16)));
  at = _mm_sub_epi8(at, _mm_cmpgt_epi8(at, _mm_set1_epi8(static_cast<char>(point - 1))));
  at = _mm_or_si128(at, _mm_cmplt_epi8(at, _mm_setzero_si128()));
  const __m128i d = _mm_shuffle_epi8(x, at);
  const __m128i pairs = _mm_maddubs_epi16(d, _mm_set1_epi16(0x010A));       // 10a + b
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));  // 100a + b
  const __m128i packed = _mm_packus_epi32(fours, fours);
  const __m128i eights = _mm_madd_epi16(packed, _mm_set1_epi32(0x00012710));  // 10000a + b
  const uint64_t high = static_cast<uint32_t>(_mm_cvtsi128_si32(eights));
  const uint64_t low = static_cast<uint32_t>(_mm_extract_epi32(eights, 1));
  const double v = static_cast<double>(high * 100000000u + low) / kPow10[fraction];
  *out = std::bit_cast<double>(std::bit_cast<uint64_t>(v) | (uint64_t{negative} << 63));
  return true;
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

VSF_WIDE size_t plainRecordIntoWide(std::string_view text, size_t pos, int columns,
                                    std::vector<double>* const* numbers, size_t* ends) {
  const size_t n = text.size();
  const char* t = text.data();
  const __m512i comma = _mm512_set1_epi8(','), newline = _mm512_set1_epi8('\n');
  const __m512i quote = _mm512_set1_epi8('"'), ret = _mm512_set1_epi8('\r');
  int field = 0;
  size_t start = pos, at = pos;
  // Takes the field ending at `end`: its number onto its column, and its end.
  auto take = [&](size_t end) VSF_WIDE {
    if (std::vector<double>* to = numbers[field]) {
      double v;
      if (!plainValue(t + start, t + end, t + n, &v)) return false;
      to->push_back(v);
    }
    ends[field++] = end;
    start = end + 1;
    return true;
  };
  // A record that is not one of plain numbers leaves its columns as they were.
  auto undo = [&]() {
    for (int j = 0; j < field; ++j)
      if (numbers[j]) numbers[j]->pop_back();
    return std::string_view::npos;
  };
  for (;;) {
    const int limit = static_cast<int>(n - at < 64 ? n - at : 64);
    const uint64_t inText = lowBits(limit);
    const __m512i v = _mm512_maskz_loadu_epi8(inText, t + at);
    const uint64_t lines = _mm512_cmpeq_epi8_mask(v, newline) & inText;
    const int valid = lines ? std::countr_zero(lines) : limit;
    const uint64_t in = lowBits(valid);
    if (((_mm512_cmpeq_epi8_mask(v, quote) | _mm512_cmpeq_epi8_mask(v, ret)) & in) != 0)
      return undo();
    for (uint64_t c = _mm512_cmpeq_epi8_mask(v, comma) & in; c != 0; c &= c - 1)
      if (field + 1 >= columns || !take(at + static_cast<size_t>(std::countr_zero(c))))
        return undo();
    if (lines || limit < 64) {
      const size_t end = at + static_cast<size_t>(valid);
      if (field + 1 != columns || !take(end)) return undo();
      return end < n ? end + 1 : n;
    }
    at += 64;
  }
}

#else

bool wideRecordCheck() { return false; }
size_t plainRecordEndWide(std::string_view, size_t, int) { return std::string_view::npos; }
size_t plainRecordEndWide(std::string_view, size_t, int, const char*, size_t*) {
  return std::string_view::npos;
}
size_t plainRecordIntoWide(std::string_view, size_t, int, std::vector<double>* const*, size_t*) {
  return std::string_view::npos;
}

#endif

}  // namespace vsf::host
