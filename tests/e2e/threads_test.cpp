// The command on one thread and on several: the levels, their order and every table of a run
// are the same whatever the number of workers that levelize and read the data; a run that
// cannot use the threads it was asked for says so in the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/command_support.h"

namespace vsf::test {
namespace {

namespace fs = std::filesystem;

// 40,000 rows in two BY groups, more than one run of every worker: CLASS variables of 2 to
// 10,000 levels, character and numeric, with missing values, and a frequency variable; in a
// library of the process's own, where the tests write their output data sets.
fs::path threadData() {
  const fs::path dir = processScratch("threads_data");
  const fs::path file = dir / "lv.csv";
  if (fs::exists(file)) return dir;
  fs::create_directories(dir);
  std::ofstream out(file);
  out << "g,y,x1,x2,x3,a,b,c,n,d,f,vs\n";
  uint64_t s = 12345;
  auto next = [&s](int m) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((s >> 33) % static_cast<uint64_t>(m));
  };
  for (int i = 0; i < 40000; ++i) {
    const int x1 = next(2001) - 1000, x2 = next(2001) - 1000, x3 = next(2001) - 1000;
    const int b = 1 + next(7), d = next(5);
    const char* a = next(200) == 0 ? "" : next(2) ? "lo" : "hi";
    const int y = x1 + x2 / 2 + (a[0] == 'l' ? 300 : 0) + 100 * b + next(1001);
    out << (i < 15000 ? 1 : 2) << ',' << y << ',' << x1 / 1000.0 << ',';
    if (next(100) != 0) out << x2 / 1000.0;
    out << ',' << x3 / 1000.0 << ',' << a << ',';
    if (next(200) != 0) out << b;
    out << ",L" << next(10000) << ',' << next(2500) << ",D" << d << ',' << next(4) << ','
        << (next(3) == 0 ? "v" : "t") << '\n';
  }
  return dir;
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The document without what depends on the threads: the performance settings and the timing.
Json withoutThreads(Json j) {
  if (j.is_array()) {
    Json out = Json::array();
    for (Json& item : j) {
      const std::string name = item.is_object() ? item.value("name", "") : "";
      if (name != "Timing" && name != "PerfSettings") out.push_back(withoutThreads(item));
    }
    return out;
  }
  if (j.is_object())
    for (auto& [key, value] : j.items()) value = withoutThreads(value);
  return j;
}

TEST(Threads, EveryWorkerCountGivesTheSameRun) {
  const std::string lib = threadData().string();
  const char* programs[] = {
      "proc varsifter data=lv seed=5; by g; class a b(order=freq) c(order=data) n "
      "d(order=formatted);"
      " model y = x1 x2 x3 a b d / selection=forward(select=sbc);"
      " partition fraction(validate=0.3); PERF run;",
      "proc varsifter data=lv seed=9; class a(missing) b(order=freq) c n(order=freq) d;"
      " model y = x1 x2 x3 a*b d / selection=forward(choose=cv) cvmethod=random(4);"
      " freq f; PERF run;",
      "proc varsifter data=lv seed=3; class c(order=freq) n(order=data);"
      " model y = x1 x2 x3 / selection=stepwise; PERF run;",
      // Without CLASS variables the numbers are read straight from the parsed columns.
      "proc varsifter data=lv seed=11; by g; model y = x1 x2 x3 / selection=forward(select=sbc "
      "choose=validate); weight b; freq f; partition fraction(validate=0.3 test=0.2); PERF run;",
      "proc varsifter data=lv seed=13; model y = x1 x2 x3 n / selection=forward(choose=cv)"
      " cvmethod=random(4); freq f; PERF run;",
  };
  // Under a small MEMSIZE the host reads the data set in blocks of a few hundred rows, which
  // the workers' runs follow from wherever a BY group starts, and the stored rows are paged.
  const std::pair<const char*, const char*> threads[] = {
      {"performance threads cpucount=1;", ""},
      {"performance threads cpucount=2;", ""},
      {"performance threads cpucount=3;", ""},
      {"performance threads cpucount=8;", ""},
      {"performance threads cpucount=3;", "--memsize 16"},
      {"performance threads cpucount=8;", "--memsize 16"}};
  for (const char* program : programs) {
    auto with = [&](const std::string& perf, const std::string& options) {
      // Every group on the workers asked for, though its rows would keep fewer busy.
      std::string text = std::string("%let _testthreadrows=1;\n") + program;
      text.replace(text.find("PERF"), 4, perf);
      return runCommand(text, lib, options);
    };
    const CommandRun one = with("performance nothreads;", "");
    ASSERT_EQ(one.status, 0) << one.output;
    const Json reference = withoutThreads(one.document);
    for (const auto& [perf, options] : threads) {
      SCOPED_TRACE(std::string(program) + " / " + perf + " " + options);
      const CommandRun r = with(perf, options);
      EXPECT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(r.output.find("runs on one thread"), std::string::npos) << r.output;
      EXPECT_TRUE(withoutThreads(r.document) == reference);
    }
  }
}

// A CSV file larger than MEMSIZE allows to hold is read in blocks of a few rows and its
// stored rows paged to the utility files: the run is the one that holds everything.
TEST(Threads, ACsvLargerThanMemsizeGivesTheSameRun) {
  const std::string lib = threadData().string();
  ASSERT_GT(fs::file_size(fs::path(lib) / "lv.csv"), 1u << 20);
  const std::string program =
      "%let _testthreadrows=1;\n"
      "proc varsifter data=lv seed=7; by g; class a b c(order=freq); freq f;"
      " model y = x1 x2 x3 a b / selection=stepwise(select=sbc) cvmethod=split(3);"
      " output out=lvout p r; performance threads cpucount=4; run;";
  const CommandRun held = runCommand(program, lib);
  ASSERT_EQ(held.status, 0) << held.output;
  const std::string kept = readFile(fs::path(lib) / "lvout.csv");
  CommandRun small = runCommand(program, lib, "--memsize 1");
  ASSERT_EQ(small.status, 0) << small.output;
  // The memory plan says that it lowered the workers; nothing else differs.
  Json& log = small.document["log"];
  const auto note = std::find_if(log.begin(), log.end(), [](const Json& line) {
    return line.value("text", "").find("fit in the memory available") != std::string::npos;
  });
  ASSERT_NE(note, log.end()) << small.output;
  log.erase(note);
  EXPECT_TRUE(withoutThreads(small.document) == withoutThreads(held.document));
  EXPECT_EQ(readFile(fs::path(lib) / "lvout.csv"), kept);
  fs::remove(fs::path(lib) / "lvout.csv");
}

// Noted once a step, not once a BY group.
TEST(Threads, ThreadsThatCannotBeUsedAreNoted) {
  const std::string lib = threadData().string();
  CommandRun r = runCommand(
      "proc varsifter data=lv; by g; class a; model y = x1 a;"
      " partition role=vs(train='t' validate='v'); performance threads cpucount=4; run;",
      lib);
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string note = "The data pass runs on one thread: the roles come from a ROLE= variable";
  const size_t at = r.output.find(note);
  EXPECT_NE(at, std::string::npos) << r.output;
  EXPECT_EQ(r.output.find(note, at + 1), std::string::npos) << r.output;
}

}  // namespace
}  // namespace vsf::test
