// Output data sets: what is written reads back the same, and a failed step leaves nothing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "common/files.h"
#include "host/data_test_util.h"

namespace vsf::test {
namespace {

std::set<std::string> libraryFiles(const fs::path& lib) {
  std::set<std::string> out;
  for (auto& e : fs::directory_iterator(lib))
    if (e.is_regular_file()) out.insert(e.path().filename().string());
  return out;
}

TEST_F(DataTest, OutputReadsBackTheSame) {
  write("in.csv", "id,name,v\n1,\"a,b\",0.1\n2,x,.A\n3,\"say \"\"hi\"\"\",-7\n");
  HostDataSet* in = open("in");
  uint32_t status = 1;
  HostDataSet* out = ds().outCreate("work.Result", 4, &status);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(status, 0u);
  const int carried[] = {0, 1};
  ASSERT_EQ(ds().outCarry(out, in, carried, 2), 0);
  OutVarDefinition pDef{kVarNumeric, 8, "p", ""}, tagDef{kVarCharacter, 12, "tag", ""};
  void *p = nullptr, *tag = nullptr;
  ASSERT_EQ(ds().outVarAdd(out, &pDef, &p), 0);
  ASSERT_EQ(ds().outVarAdd(out, &tagDef, &tag), 0);
  OutVarDefinition dup{kVarNumeric, 8, "P", ""};  // a computed name only once
  void* dupSlot = nullptr;
  EXPECT_NE(ds().outVarAdd(out, &dup, &dupSlot), 0);
  EXPECT_NE(ds().append(out), 0);  // not ready yet
  ASSERT_EQ(ds().outReady(out), 0);

  const double values[] = {1.0 / 3, -0.0, 1e300, missingValue('Z'), 5e-324};
  const char* tags[] = {"line\nbreak", "", " lead", "q\"uote", "plain"};
  std::vector<std::vector<std::string>> expected;
  ds().mode(in, 'F');
  ds().start(in);
  for (int i = 0; i < 5; ++i) {
    if (i < 3) {
      ASSERT_EQ(ds().readNext(in), 1);
    } else {
      EXPECT_EQ(ds().readNext(in), 0);  // rows 4 and 5 carry no current observation
    }
    std::memcpy(p, &values[i], 8);
    std::memset(tag, ' ', 12);
    std::memcpy(tag, tags[i], std::strlen(tags[i]));
    ASSERT_EQ(ds().append(out), 0);
    std::vector<std::string> row;
    row.push_back(i < 3 ? value(in, 0) : ".");
    row.push_back(i < 3 ? value(in, 1) : "");
    char buf[32];
    row.push_back(missingCode(values[i])
                      ? ".Z"
                      : std::string(buf, std::to_chars(buf, buf + 32, values[i]).ptr));
    row.push_back(tags[i]);
    expected.push_back(row);
  }
  ASSERT_EQ(ds().outClose(out, true), 0);
  EXPECT_EQ(ds().lastName(), "WORK.Result");
  EXPECT_EQ(libraryFiles(lib), (std::set<std::string>{"in.csv", "Result.csv"}));

  HostDataSet* back = open(ds().lastName());
  EXPECT_EQ(rows(back), expected);
  ds().mode(back, 'F');
  ds().start(back);
  for (double v : values) {  // every bit of every number
    ASSERT_EQ(ds().readNext(back), 1);
    EXPECT_EQ(bitsOf(ds().getNum(back, 2)), bitsOf(v));
  }
}

// A wide data set carried whole keeps each variable once, the first of any case; a computed
// variable named like a carried one takes its place once, and is itself defined only once.
TEST_F(DataTest, AWideOutputCarriesEachNameOnce) {
  const int n = 30000;
  std::string header;
  for (int j = 0; j < n; ++j) header += (j ? ",v" : "v") + std::to_string(j);
  write("wide.csv", header + "\n" + std::string(n - 1, ',') + "\n");
  HostDataSet* in = open("wide");
  HostDataSet* out = ds().outCreate("work.carried", 4, nullptr);
  ASSERT_NE(out, nullptr);
  std::vector<int> all(n);
  for (int j = 0; j < n; ++j) all[static_cast<size_t>(j)] = j;
  ASSERT_EQ(ds().outCarry(out, in, all.data(), n), 0);
  ASSERT_EQ(ds().outCarry(out, in, all.data() + 7, 3), 0);  // carried already
  void* slot = nullptr;
  OutVarDefinition v7{kVarNumeric, 8, "V7", ""};
  ASSERT_EQ(ds().outVarAdd(out, &v7, &slot), 0);  // replaces the carried v7
  EXPECT_NE(host::session().log.lines().back().text.find("replaces the variable"),
            std::string::npos);
  EXPECT_NE(ds().outVarAdd(out, &v7, &slot), 0);
  EXPECT_NE(lastError().find("Variable V7 is defined twice"), std::string::npos) << lastError();
  ASSERT_EQ(ds().outReady(out), 0);
  ASSERT_EQ(ds().outClose(out, true), 0);
  std::ifstream file(lib / "carried.csv");
  std::string first;
  std::getline(file, first);
  EXPECT_EQ(std::count(first.begin(), first.end(), ','), n - 1);
  EXPECT_EQ(first.substr(0, 12), "v0,v1,v2,v3,");
  EXPECT_EQ(first.substr(first.size() - 3), ",V7");
  EXPECT_EQ(first.find(",v7,"), std::string::npos);
}

// A step that ends while an output is half written leaves the library as it was, also when
// the output would have replaced an older file.
TEST_F(DataTest, FailedStepLeavesNoOutput) {
  write("old.csv", "a\n1\n");
  write("by.csv", "g\n2\n1\n");
  const std::set<std::string> before = libraryFiles(lib);
  for (const char* name : {"old", "fresh"}) {
    HostDataSet* out = ds().outCreate(name, 1, nullptr);
    ASSERT_NE(out, nullptr);
    OutVarDefinition def{kVarNumeric, 8, "a", ""};
    void* slot = nullptr;
    ASSERT_EQ(ds().outVarAdd(out, &def, &slot), 0);
    ASSERT_EQ(ds().outReady(out), 0);
    for (int i = 0; i < 100000; ++i) {  // enough to have flushed part of it
      *static_cast<double*>(slot) = i;
      ASSERT_EQ(ds().append(out), 0);
    }
    HostDataSet* in = open("by");
    ByVariable g{"g", false};
    stepEndError([&] { ds().setBy(in, &g, 1, false); });
    host::closeStepDataSets();
    EXPECT_EQ(libraryFiles(lib), before) << name;
    EXPECT_EQ(fileText(lib / "old.csv"), "a\n1\n");
  }
  // Closing without keeping writes nothing either.
  HostDataSet* out = ds().outCreate("dropped", 0, nullptr);
  ASSERT_EQ(ds().outReady(out), 0);
  ASSERT_EQ(ds().append(out), 0);
  EXPECT_EQ(ds().outClose(out, false), 0);
  EXPECT_EQ(libraryFiles(lib), before);
}

// The step runner closes what a step left open.
TEST_F(DataTest, StepRunnerDiscardsUnclosedOutputs) {
  const std::set<std::string> before = libraryFiles(lib);
  HostDataSet* out = ds().outCreate("leftover", 0, nullptr);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(ds().outReady(out), 0);
  EXPECT_EQ(libraryFiles(lib), before);  // no file before the first rows are written
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(ds().append(out), 0);
  EXPECT_NE(libraryFiles(lib), before);  // the temporary file exists meanwhile
  host::runStep("proc varsifter; run;", 1);
  EXPECT_EQ(libraryFiles(lib), before);
}

}  // namespace
}  // namespace vsf::test
