// The procedure's statement grammar: its words, its productions written as text, and the
// builder that turns them into the descriptor the host's parser runs.
#pragma once

#include <string>
#include <string_view>

#include "frame/host/parse.h"

namespace vsf {

// The word list: 19 token classes, the keywords in ascending byte order, the end marker.
const char* const* grammarWords(int* count);
constexpr int kTokenClassCount = 19;

// The productions as text. Rules `name : alternative | ... ;`; lower-case names are
// nonterminals, upper-case words and quoted symbols keywords (';' is ENDJB), `[ ... ]` an
// optional part, `{action arguments}` a semantic action; `@record r` names the record whose
// slot and flag names the actions that follow use (grammar/slots.h).
std::string_view grammarText();

// Builds a descriptor from the text and the word list. False with a reason when the text is
// not a grammar (an unknown word, nonterminal, slot or action).
[[nodiscard]] bool buildGrammarFrom(std::string_view text, GrammarDescriptor* out,
                                    std::string* error);

// The step's grammar, built on first use; null when it could not be built.
const GrammarDescriptor* buildGrammar();

// Whether the word (any case) begins a statement of the step, or is RUN or QUIT
// (statementWords): read as a name in a list, it says that the statement before it lacks its
// ";".
bool beginsStatement(std::string_view word);

}  // namespace vsf
