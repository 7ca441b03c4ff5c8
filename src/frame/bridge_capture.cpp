// Keeping the texts of a step's statements for the bridge: a statement is read ahead token by
// token and written with the bridge's spacing, however long it is.
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

int captureStatementTokens(StatementCapture* capture, const ParseToken* first) {
  std::string& t = capture->text;
  int depth = 0;
  bool blank = false;
  if (first) appendToken(t, first->written, depth, blank);
  for (int k = 0;; ++k) {
    const ParseToken* tok = hostv().parse->peekToken(k);
    if (!tok || tok->kind == ParseToken::kEnd) break;
    if (tok->written.empty()) continue;
    appendToken(t, tok->written, depth, blank);
    if (tok->written == ";") break;
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
