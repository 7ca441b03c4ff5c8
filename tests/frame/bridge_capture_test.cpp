// The text the bridge keeps of each statement ends where its ";" stands or, left out, belongs:
// a statement does not run on to the next ";" written, however far that is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "common/toy_grammars.h"
#include "frame/bridge_internal.h"
#include "grammar/grammar.h"

namespace vsf {
namespace {

struct Kept {
  StatementCapture capture;
  ParseToken first;
};

std::vector<std::string> keptStatements(const std::string& text) {
  test::ensureHost();
  GrammarDescriptor g;
  std::string error;
  EXPECT_TRUE(buildGrammarFrom(test::kTwoStatements, &g, &error)) << error;
  Kept kept;
  ParseCallbacks cb;
  cb.context = &kept;
  cb.onStatement = [](void* c, const StatementRecord*) {
    static_cast<Kept*>(c)->first = *hostv().parse->currentToken();
    return 0;
  };
  cb.onStatementEnd = [](void* c, const StatementRecord*) {
    Kept* k = static_cast<Kept*>(c);
    captureStatementTokens(&k->capture, k->first);
    return 0;
  };
  host::session().stepText = text;
  host::session().stepLine = 1;
  hostv().parse->run(&g, 0, &cb);
  return kept.capture.statements;
}

TEST(BridgeCapture, AStatementEndsWhereItsSemicolonBelongs) {
  const struct {
    std::string text;
    std::vector<std::string> kept;
  } cases[] = {
      {"store a 'b c';\nlasso d = e;", {"store a 'b c';", "lasso d=e;"}},
      {"store a b\n lasso c = d e;", {"store a b;", "lasso c=d e;"}},
      {"store a\nlasso b = c\nlasso d = e\nlasso f = g;",
       {"store a;", "lasso b=c;", "lasso d=e;", "lasso f=g;"}},
      // An error skips to the ";" written: the statement holds what was skipped.
      {"store a = b; store c;", {"store a=b;", "store c;"}},
      {"store a b", {"store a b;"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(keptStatements(c.text), c.kept);
  }
  // Many statements without their ";": each keeps its own words, not the rest of the step.
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "lasso x = y\n";
  const std::vector<std::string> kept = keptStatements(many + ";");
  ASSERT_EQ(kept.size(), 2000u);
  for (const std::string& s : kept) EXPECT_EQ(s, "lasso x=y;");
}

}  // namespace
}  // namespace vsf
