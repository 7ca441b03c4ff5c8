// Blank-padded byte strings, host names, missing values and small numeric kernels used
// across the procedure.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "frame/host/values.h"

namespace vsf {

// ---- Byte strings ----
int zstrlen(const char* s);
int zallchr(char c, const char* s, int length);
int zfindchr(const char* s, int length, char c);
int zfindstr(const char* text, int textLength, const char* pattern, int patternLength);
int zverify(const char* s, int length, const char* set, int setLength);
// The session collates in byte order, so a collating compare is the padded compare.
inline int zcolcmp(const char* a, int la, const char* b, int lb) { return zpadcmp(a, la, b, lb); }
void zjustify(char* buffer, int width, char mode, int* textLength, int* start);
int zcopypad(const char* source, int sourceLength, char* field, int width);
uint32_t zitoa(long long value, char* field, int width);
int zwtrimlen(const char* s, int length);
// Index of the first of count entries of the given width equal to key byte for byte; count
// when none is (0 for an empty table).
int zleadeq(const void* table, int count, const void* key, int width);

// ---- Missing values and small kernels ----
// The tolerance of comparisons that rounding could tip: 500 times the double epsilon. FUZZ=
// replaces it in the criterion comparisons of a selection.
constexpr double kFuzz = 1.110223024625157e-13;
int zhasmiss(const double* x, int n);
int zanymiss(const double* x, int n);
// 0 when |x| is below the floor (rounding noise at the data's scale); missing values pass.
double fuzzToZero(double x, double floor);
long long packedElementCount(long long n);
inline int zimax(int a, int b) { return a > b ? a : b; }
inline int zimin(int a, int b) { return a < b ? a : b; }
double zddot(const double* x, const double* y, int n);
double zdamax(const double* x, int n);
double zpowchk(double x, double y, int* status);

}  // namespace vsf
