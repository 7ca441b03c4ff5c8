// Program files: host statements (OPTIONS, %LET, %PUT) and procedure steps.
#pragma once

#include <string>
#include <string_view>

namespace vsf::host {

struct ProgramResult {
  int steps = 0;
  int worstCode = 0;  // the largest step code
};

// Reads a program file ("-" reads standard input); false, with the reason, when it cannot be
// read, is a directory or holds nothing but blanks. A UTF-8 byte-order mark is dropped and
// lines ended by CRLF or CR alone come back ended by LF.
bool readProgram(const std::string& path, std::string* text, std::string* error);

// Runs a program's text; `name` labels messages. Every step runs through runStep; the log
// says where each step begins and what its return code means.
ProgramResult runProgram(const std::string& text, const std::string& name);

// The statements of a step in one line each, pointing at the language reference.
const char* statementSummary();

// What a step's return code means, in words; empty for 0.
std::string explainStepCode(int code);

// Resolves &name and &name. references from the macro table; an unresolved reference gives
// a warning and stays as written.
std::string resolveMacros(const std::string& text);

// Applies one OPTIONS statement's text (without the keyword); false after an error that
// begins with `where` (the file and line) on an unknown option or a value it cannot take.
bool applyOptions(const std::string& text, std::string_view where = {});

}  // namespace vsf::host
