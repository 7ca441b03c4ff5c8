// The record layout: every option has a field of its own, inside its record, and the grammar
// writes every field the layout declares.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "grammar/grammar.h"
#include "grammar/slots.h"

namespace vsf {
namespace {

TEST(RecordLayout, EveryFieldHasANumberOfItsOwnInsideItsRecord) {
  int count = 0;
  const RecordField* f = recordFields(&count);
  std::map<std::tuple<std::string, char, int>, std::string> taken;
  for (int k = 0; k < count; ++k) {
    auto key = std::make_tuple(std::string(f[k].record), f[k].kind, f[k].number);
    auto [it, fresh] = taken.emplace(key, f[k].name);
    EXPECT_TRUE(fresh) << f[k].record << " " << f[k].kind << f[k].number << ": " << f[k].name
                       << " and " << it->second;
    if (f[k].kind == 's') {
      EXPECT_GE(f[k].number, 0);
      EXPECT_LT(f[k].number, recordSlotCount(f[k].record)) << f[k].record << " " << f[k].name;
    } else {
      EXPECT_GT(f[k].number, 0);
    }
  }
}

// Field names the grammar's actions use, per record.
std::set<std::pair<std::string, std::string>> namesInGrammar() {
  std::set<std::pair<std::string, std::string>> used;
  std::string record;
  std::string_view t = grammarText();
  for (size_t i = 0; i < t.size(); ++i) {
    if (t.compare(i, 8, "@record ") == 0) {
      size_t e = t.find('\n', i);
      record = std::string(t.substr(i + 8, e - i - 8));
      i = e;
    } else if (t[i] == '#') {
      i = t.find('\n', i);
    } else if (t[i] == '{') {
      size_t e = t.find('}', i);
      std::istringstream words(std::string(t.substr(i + 1, e - i - 1)));
      std::string w;
      words >> w;  // the action
      while (words >> w) used.insert({record, w});
      i = e;
    }
  }
  return used;
}

TEST(RecordLayout, TheGrammarWritesEveryDeclaredField) {
  std::set<std::pair<std::string, std::string>> used = namesInGrammar();
  // Filled by the effects library while the effects are parsed.
  const std::set<std::pair<std::string, std::string>> byEffects = {{"proc", "ModelVars"},
                                                                   {"model", "Effects"}};
  int count = 0;
  const RecordField* f = recordFields(&count);
  for (int k = 0; k < count; ++k) {
    std::pair<std::string, std::string> key{f[k].record, f[k].name};
    if (byEffects.count(key)) continue;
    EXPECT_TRUE(used.count(key)) << f[k].record << " " << f[k].name << " is never written";
  }
}

}  // namespace
}  // namespace vsf
