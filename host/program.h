// Program files: host statements (OPTIONS, %LET, %PUT) and procedure steps.
#pragma once

#include <string>

namespace vsf::host {

struct ProgramResult {
  int steps = 0;
  int worstCode = 0;  // the largest step code
};

// Runs a program's text; `name` labels messages. Every step runs through runStep.
ProgramResult runProgram(const std::string& text, const std::string& name);

// Resolves &name and &name. references from the macro table; an unresolved reference gives
// a warning and stays as written.
std::string resolveMacros(const std::string& text);

// Applies one OPTIONS statement's text (without the keyword); false on a bad option.
bool applyOptions(const std::string& text);

}  // namespace vsf::host
