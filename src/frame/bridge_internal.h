// Inside the bridge: the capture of statement texts while the step is parsed.
#pragma once

#include "frame/bridge.h"
#include "frame/host/parse.h"

namespace vsf {

StatementCapture* openStatementCapture();
void closeStatementCapture(StatementCapture* capture);
// Keeps the statement that begins with `first` and ends with the token read last (its ";",
// written or put in where it was left out): written into the text record, which is stored as
// a statement and emptied. Returns the length of the text kept.
int captureStatementTokens(StatementCapture* capture, const ParseToken& first);
// Stores the text record as a statement, ";" added when it does not end with one.
int storeCapturedStatement(StatementCapture* capture);

}  // namespace vsf
