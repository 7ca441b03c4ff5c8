// The OPTIONS statement of a program: the host options it sets and the values it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "common/files.h"
#include "common/test_host.h"
#include "host/program.h"

namespace vsf::host {
namespace {

TEST(ProgramOptions, ValuesSetAndRefused) {
  test::ensureHost();
  SystemOptions saved = session().options;
  int machine = static_cast<int>(std::thread::hardware_concurrency());
  const std::string tmp = std::filesystem::temp_directory_path().string();
  const std::string quoted = test::ownTempPath("it's").string();
  std::filesystem::create_directories(quoted);
  std::string doubled;  // its quotes doubled, in single quotes
  for (const char c : quoted) doubled += c == '\'' ? std::string("''") : std::string(1, c);
  struct Case {
    std::string text;
    bool ok;
    int cpuCount;
    bool threads;
    int64_t memSizeMb;
    std::string utilPath;
  } cases[] = {
      {"cpucount=3", true, 3, true, 5, "u"},
      // ACTUAL is the machine's count, never 0 (which would leave one worker).
      {"cpucount=actual", true, machine > 0 ? machine : 1, true, 5, "u"},
      {"nothreads cpucount = ACTUAL", true, machine > 0 ? machine : 1, false, 5, "u"},
      {"cpucount=many", false, 7, true, 5, "u"},
      {"cpucount=3x", false, 7, true, 5, "u"},
      // The procedure uses at most 1024 workers.
      {"cpucount=1100", false, 7, true, 5, "u"},
      {"cpucount=0", false, 7, true, 5, "u"},
      {"memsize=200", true, 7, true, 200, "u"},
      {"memsize=abc", false, 7, true, 5, "u"},
      {"memsize=-1", false, 7, true, 5, "u"},
      {"memsize=99999999999999999999", false, 7, true, 5, "u"},
      {"memsize=8796093022208", false, 7, true, 5, "u"},  // its bytes would overflow
      {"utilpath=" + test::quotedInProgram(tmp), true, 7, true, 5, tmp},
      {"utilpath='/no/such/directory'", false, 7, true, 5, "u"},  // never made
      // A doubled quote stands for one, and the options after the value are read.
      {"utilpath='" + doubled + "' cpucount=2", true, 2, true, 5, quoted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    session().options.cpuCount = 7;
    session().options.threads = true;
    session().options.memSizeMb = 5;
    session().options.utilPath = "u";
    EXPECT_EQ(applyOptions(c.text), c.ok);
    EXPECT_EQ(session().options.cpuCount, c.cpuCount);
    EXPECT_EQ(session().options.threads, c.threads);
    EXPECT_EQ(session().options.memSizeMb, c.memSizeMb);
    EXPECT_EQ(session().options.utilPath, c.utilPath);
  }
  EXPECT_FALSE(std::filesystem::exists("/no/such/directory"));
  std::filesystem::remove(quoted);
  session().options = saved;
}

}  // namespace
}  // namespace vsf::host
