// The host's default number format: the "best" text of a value in a field of a given width.
#pragma once

#include <string>

namespace vsf::host {

// The shortest decimal text that reads back as the same double, in fixed notation when it
// fits `width` characters, else in E notation ("1E15", "-1.5E-12"); when neither fits, the
// rounded text (fixed or E) closer to the value. Missing values are "." or their code letter.
// Never longer than `width`; "*" repeated when not even one digit fits. Not padded.
std::string formatBest(double value, int width);

// Drops trailing zeros of a fraction ("2.500" -> "2.5", "3.000" -> "3"), before any exponent.
std::string trimFraction(std::string s);

}  // namespace vsf::host
