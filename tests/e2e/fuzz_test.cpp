// Programs and data sets a hostile user might write, through the command: the seed programs
// tests/data/fuzz/*.seed over mtcars as data set d, each case's program or CSV file (or both)
// changed by the mutators of fuzz_support.cpp from its own seed. Every run ends with exit status
// 0, 1 or 2, an ERROR line for every failure, a JSON document that is whole or absent, no file
// left in the UTILPATH directory and no sanitizer report. Each seed also runs as written, where
// no failure may blame memory or an internal code.
//
// A failing case is written to $TMPDIR/vsf_fuzz_<case>/ (program, data, output); to run cases
// again: VSF_FUZZ_CASES=from:to (default 0:3000) ./build/tests/e2e_tests --gtest_filter=Fuzz.*
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/command_support.h"
#include "e2e/fuzz_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSeed = 20261207;

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Case {
  int number = 0;
  std::string program, data;
};

// Case n: a seed program and mtcars, the program changed (two cases in five), the data (two
// in five) or both.
Case makeCase(int n, const std::vector<std::string>& programs, const std::string& data) {
  FuzzRandom random(kSeed + static_cast<uint64_t>(n));
  Case c{n, programs[random() % programs.size()], data};
  const uint64_t kind = random() % 5;
  if (kind < 2 || kind == 4) c.program = mutateProgram(c.program, random);
  if (kind >= 2) c.data = mutateCsv(c.data, random);
  return c;
}

// What is wrong with the case's run; empty when nothing is.
std::string runCase(const Case& c, const fs::path& dir) {
  const fs::path util = dir / "util", json = dir / "out.json";
  fs::remove_all(dir);
  fs::create_directories(util);
  std::ofstream(dir / "p.vsf", std::ios::binary) << c.program;
  std::ofstream(dir / "d.csv", std::ios::binary) << c.data;
  // BLAS threads only slow the start of so many short runs.
  const CommandRun r =
      runShell("OPENBLAS_NUM_THREADS=1 timeout -s KILL 120 " + shellQuoted(VSF_BINARY) + " " +
               shellQuoted((dir / "p.vsf").string()) + " --lib " + shellQuoted(dir.string()) +
               " --utilpath " + shellQuoted(util.string()) + " --json " +
               shellQuoted(json.string()) + " 2>&1 >/dev/null");
  std::ofstream(dir / "log.txt", std::ios::binary) << r.output;
  std::string wrong;
  if (r.status < 0 || r.status > 2) wrong += "exit status " + std::to_string(r.status) + "; ";
  if (r.status != 0 && r.output.find("ERROR") == std::string::npos)
    wrong += "a failure without an ERROR line; ";
  for (const char* report : {"Sanitizer", "runtime error:"})
    if (r.output.find(report) != std::string::npos) wrong += std::string("a report: ") + report;
  if (fs::exists(json) && Json::parse(contents(json), nullptr, false).is_discarded())
    wrong += "a JSON document that is not whole; ";
  if (!fs::is_empty(util)) wrong += "files left in the UTILPATH directory; ";
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".tmp") wrong += "a temporary file left: " + e.path().string();
  if (wrong.empty()) return wrong;
  const fs::path keep = fs::temp_directory_path() / ("vsf_fuzz_" + std::to_string(c.number));
  fs::remove_all(keep);
  fs::copy(dir, keep, fs::copy_options::recursive);
  std::ofstream(keep / "output.txt", std::ios::binary) << r.output;
  return wrong + " (kept in " + keep.string() + ")";
}

std::pair<int, int> caseRange() {
  int from = 0, to = 3000;
  if (const char* v = std::getenv("VSF_FUZZ_CASES"))
    if (std::sscanf(v, "%d:%d", &from, &to) != 2) ADD_FAILURE() << "VSF_FUZZ_CASES=from:to";
  return {from, to};
}

std::vector<std::string> seedPrograms() {
  std::vector<std::string> programs;
  for (const auto& e : fs::directory_iterator(fs::path(VSF_TEST_DATA) / "fuzz"))
    if (e.path().extension() == ".seed") programs.push_back(contents(e.path()));
  std::sort(programs.begin(), programs.end());  // the directory's order is the system's
  return programs;
}

// Each seed as written, on the data as shipped: the checks of a case, and no failure that
// blames memory or an internal code for what the statements asked.
TEST(Fuzz, SeedProgramsRunAsWritten) {
  const std::vector<std::string> programs = seedPrograms();
  const std::string data = contents(fs::path(VSF_SHARED_DATA) / "mtcars.csv");
  ScratchDir root("vsf_fuzz_seed");
  for (size_t i = 0; i < programs.size(); ++i) {
    SCOPED_TRACE(programs[i]);
    const fs::path dir = root.path() / std::to_string(i);
    EXPECT_EQ(runCase(Case{-1 - static_cast<int>(i), programs[i], data}, dir), "");
    const std::string log = contents(dir / "log.txt");
    for (const char* blame : {"not enough memory", "internal code", "status 0x"})
      EXPECT_EQ(log.find(blame), std::string::npos) << blame << "\n" << log;
  }
}

TEST(Fuzz, MutatedProgramsAndDataEndCleanly) {
  const std::vector<std::string> programs = seedPrograms();
  ASSERT_FALSE(programs.empty());
  const std::string data = contents(fs::path(VSF_SHARED_DATA) / "mtcars.csv");
  const auto [from, to] = caseRange();

  ScratchDir root("vsf_fuzz");
  std::atomic<int> next{from};
  std::mutex m;
  std::vector<std::string> failures;
  auto worker = [&](int w) {
    const fs::path dir = root.path() / std::to_string(w);
    for (int n = next++; n < to; n = next++) {
      const std::string wrong = runCase(makeCase(n, programs, data), dir);
      if (wrong.empty()) continue;
      std::lock_guard<std::mutex> lock(m);
      failures.push_back("case " + std::to_string(n) + ": " + wrong);
    }
  };
  std::vector<std::thread> team;
  const int workers = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
  for (int w = 0; w < workers; ++w) team.emplace_back(worker, w);
  for (std::thread& t : team) t.join();
  std::sort(failures.begin(), failures.end());
  for (size_t i = 0; i < failures.size() && i < 20; ++i) ADD_FAILURE() << failures[i];
  EXPECT_TRUE(failures.empty()) << failures.size() << " of " << to - from << " cases failed";
}

}  // namespace
}  // namespace vsf::test
