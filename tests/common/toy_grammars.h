// Test support: small grammars that have nothing to do with the procedure, for the tests of
// the generic parser and of what reads its tokens.
#pragma once

#include <string_view>

namespace vsf::test {

// Two statements whose keywords may stand for names, the second with a "=".
constexpr std::string_view kTwoStatements = R"(
@record store
start : stmts '$$$' ;
stmts : stmt stmts | ;
stmt : STORE {begin STORE} items ';' {end}
     | LASSO {begin STORE} NAMEX '=' items ';' {end} ;
items : item items | ;
item : NAMEX {store ItemStore} | QS ;
)";

}  // namespace vsf::test
