// Keeping the texts of a step's statements for the bridge: a statement is read back token by
// token when it ends and written with the bridge's spacing, however long it is.
#include <vector>

#include "base/host.h"
#include "frame/bridge_internal.h"

namespace vsf {

namespace {

// Appends one token. No blank after "(", "=", "<", ">" and an inner ")", and the blank before
// them is taken back; the outermost ")" keeps the blank before it and gets one after it;
// ";" takes the blank back and ends the text; every other token is followed by a blank.
void appendToken(std::string& t, std::string_view tok, int& depth, bool& blank) {
  auto takeBack = [&] {
    if (blank && !t.empty() && t.back() == ' ') t.pop_back();
    blank = false;
  };
  if (tok.size() == 1) {
    char c = tok[0];
    if (c == ';' || c == '(' || c == '=' || c == '<' || c == '>' || (c == ')' && depth != 1)) {
      if (c == '(') ++depth;
      if (c == ')') --depth;
      takeBack();
      t += c;
      return;
    }
    if (c == ')') --depth;  // the outermost: its blank before stays
  }
  t.append(tok);
  t += ' ';
  blank = true;
}

}  // namespace

StatementCapture* openStatementCapture() { return new StatementCapture(); }

void closeStatementCapture(StatementCapture* capture) { delete capture; }

// Whether the token stands before the statement's first token, or is it.
bool reachesFirst(const ParseToken& tok, const ParseToken& first) {
  if (tok.line != first.line) return tok.line < first.line;
  return tok.column < first.column || (tok.column == first.column && tok.written == first.written);
}

int captureStatementTokens(StatementCapture* capture, const ParseToken& first) {
  // Read back from the token read last to the first: the statement as the parser took it, up
  // to where its ";" stands or belongs, however far the next written ";" is.
  std::vector<const ParseToken*> read;
  for (int k = -1;; --k) {
    const ParseToken* tok = hostv().parse->peekToken(k);
    if (!tok || reachesFirst(*tok, first)) break;
    read.push_back(tok);
  }
  std::string& t = capture->text;
  int depth = 0;
  bool blank = false;
  appendToken(t, first.written, depth, blank);
  for (auto it = read.rbegin(); it != read.rend(); ++it) {
    const ParseToken* tok = *it;
    if (tok->kind == ParseToken::kEnd) break;
    // A ";" put in where one was left out ends the statement as a written one does.
    const std::string_view written =
        tok->written.empty() && tok->text == ";" ? std::string_view(";") : tok->written;
    if (written.empty()) continue;
    appendToken(t, written, depth, blank);
    if (written == ";") break;
  }
  int length = static_cast<int>(t.size());
  if (length > 0) storeCapturedStatement(capture);
  t.clear();
  return length;
}

int storeCapturedStatement(StatementCapture* capture) {
  std::string t = capture->text;
  if (t.empty()) return 0;
  if (t.back() != ';') t += ';';
  capture->statements.push_back(std::move(t));
  ++capture->count;
  return 0;
}

}  // namespace vsf
