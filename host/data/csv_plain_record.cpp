#include "host/data/csv_plain_record.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vsf::host {

namespace {

// Bit i of each mask stands for byte i of a 64-byte block of the record.
struct Masks {
  uint64_t digit = 0, point = 0, sign = 0, comma = 0, other = 0;
  uint64_t hard = 0;  // quotes and carriage returns: the record is read field by field
};

#ifdef __SSE2__
inline uint64_t bits16(__m128i m, int at) {
  return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m))) << at;
}

Masks classify(const char* s) {
  Masks m;
  const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
  for (int at = 0; at < 64; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    const __m128i d = _mm_sub_epi8(v, zero);
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d);
    const __m128i point = _mm_cmpeq_epi8(v, _mm_set1_epi8('.'));
    const __m128i sign =
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('-')), _mm_cmpeq_epi8(v, _mm_set1_epi8('+')));
    const __m128i comma = _mm_cmpeq_epi8(v, _mm_set1_epi8(','));
    const __m128i hard =
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    const __m128i known = _mm_or_si128(_mm_or_si128(digit, point), _mm_or_si128(sign, comma));
    m.hard |= bits16(hard, at);
    m.digit |= bits16(digit, at);
    m.point |= bits16(point, at);
    m.sign |= bits16(sign, at);
    m.comma |= bits16(comma, at);
    m.other |= bits16(known, at);
  }
  m.other = ~m.other;
  return m;
}
#else
Masks classify(const char* s) {
  Masks m;
  for (int i = 0; i < 64; ++i) {
    const char c = s[i];
    const uint64_t bit = uint64_t{1} << i;
    if (static_cast<unsigned>(c - '0') < 10)
      m.digit |= bit;
    else if (c == '.')
      m.point |= bit;
    else if (c == '-' || c == '+')
      m.sign |= bit;
    else if (c == ',')
      m.comma |= bit;
    else
      m.other |= bit;
    if (c == '"' || c == '\r') m.hard |= bit;
  }
  return m;
}
#endif

inline uint64_t below(int k) { return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1; }

// The field being read when a block ends: its bytes, signs and points so far, and whether a
// byte of it cannot be in a plain number. In a plain number every byte is a digit, a point or
// a sign, and a sign only opens the field, so the digits are the rest (no population count:
// without it in the instruction set that is a call per field).
struct OpenField {
  int length = 0, signs = 0, points = 0;
  int stray = 0;
};

// Adds bits [from, to) of the block to the field. `checked`: the block's bytes are all of the
// four kinds and its signs all open fields (no stray byte to look for).
template <bool checked>
inline void extend(const Masks& m, int from, int to, OpenField* f) {
  const uint64_t span = below(to) & ~below(from);
  const uint64_t points = m.point & span;
  if constexpr (!checked) {
    const uint64_t opening = f->length == 0 ? uint64_t{1} << (from & 63) : 0;
    f->stray |= ((m.other & span) | (m.sign & span & ~opening)) != 0 ? 1 : 0;
  }
  f->length += to - from;
  f->signs += (m.sign & span) != 0;
  f->points += (points != 0) + ((points & (points - 1)) != 0);
}

// Ends the field; false when it is not a plain number (an empty field has no digit). A field of
// a text column is anything.
template <bool withTexts>
inline bool close(OpenField* f, bool text) {
  const int digits = f->length - f->signs - f->points;
  bool ok = digits >= 1 && digits <= 15 && f->points <= 1;
  if constexpr (withTexts) ok = text || (ok && !f->stray);
  *f = OpenField{};
  return ok;
}

// Both kinds of record: `texts` null (every column a number) or a flag per column.
template <bool withTexts>
inline size_t recordEnd(std::string_view text, size_t pos, int columns, const char* texts,
                        size_t* ends) {
  const size_t n = text.size();
  const void* hit = std::memchr(text.data() + pos, '\n', n - pos);
  const size_t end = hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : n;
  int fields = 0;
  OpenField open;
  bool afterComma = true;  // a sign may open the record's first field
  for (size_t at = pos; at < end; at += 64) {
    const int valid = static_cast<int>(end - at < 64 ? end - at : 64);
    Masks m;
    if (valid == 64) {
      m = classify(text.data() + at);
    } else {
      char tail[64];
      std::memcpy(tail, text.data() + at, static_cast<size_t>(valid));
      std::memset(tail + valid, ',', static_cast<size_t>(64 - valid));
      m = classify(tail);
      m.comma &= below(valid);
    }
    if constexpr (withTexts) {
      if ((m.hard & below(valid)) != 0) return std::string_view::npos;
    } else {
      // A sign only opens a field; nothing but the four kinds of byte.
      const uint64_t starts = (m.comma << 1) | uint64_t{afterComma};
      if ((m.other & below(valid)) != 0 || (m.sign & ~starts) != 0) return std::string_view::npos;
    }
    int from = 0;
    for (uint64_t c = m.comma; c != 0; c &= c - 1) {
      const int k = std::countr_zero(c);
      extend<!withTexts>(m, from, k, &open);
      if constexpr (withTexts) {
        if (fields >= columns || !close<true>(&open, texts[fields])) return std::string_view::npos;
        ends[fields] = at + static_cast<size_t>(k);
      } else if (!close<false>(&open, false)) {
        return std::string_view::npos;
      }
      ++fields;
      from = k + 1;
    }
    extend<!withTexts>(m, from, valid, &open);
    afterComma = from == valid;
    if (fields >= columns) return std::string_view::npos;
  }
  // The last field ends at the line end.
  if constexpr (withTexts) {
    if (fields >= columns || !close<true>(&open, texts[fields])) return std::string_view::npos;
    ends[fields] = end;
  } else if (!close<false>(&open, false)) {
    return std::string_view::npos;
  }
  if (++fields != columns) return std::string_view::npos;
  return end < n ? end + 1 : n;
}

}  // namespace

size_t plainRecordEndBaseline(std::string_view text, size_t pos, int columns) {
  return recordEnd<false>(text, pos, columns, nullptr, nullptr);
}

size_t plainRecordEnd(std::string_view text, size_t pos, int columns) {
  return wideRecordCheck() ? plainRecordEndWide(text, pos, columns)
                           : plainRecordEndBaseline(text, pos, columns);
}

size_t plainRecordEndBaseline(std::string_view text, size_t pos, int columns, const char* texts,
                              size_t* ends) {
  return recordEnd<true>(text, pos, columns, texts, ends);
}

size_t plainRecordEnd(std::string_view text, size_t pos, int columns, const char* texts,
                      size_t* ends) {
  return wideRecordCheck() ? plainRecordEndWide(text, pos, columns, texts, ends)
                           : plainRecordEndBaseline(text, pos, columns, texts, ends);
}

}  // namespace vsf::host
