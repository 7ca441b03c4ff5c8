// Program files: host statements (OPTIONS, %LET, %PUT) and procedure steps.
#pragma once

#include <string>
#include <string_view>

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

// Applies one OPTIONS statement's text (without the keyword); false after an error that
// begins with `where` (the file and line) on an unknown option or a value it cannot take.
bool applyOptions(const std::string& text, std::string_view where = {});

}  // namespace vsf::host
