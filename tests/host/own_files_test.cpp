// The host's files are new files of its own: made only where nothing is, whatever another user
// or a killed run planted at a name first. A temporary file left beside an output is removed
// only when no live run writes it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <set>

#include "base/host.h"
#include "common/files.h"
#include "host/data/csv_dialect.h"
#include "host/data_test_util.h"
#include "host/faults.h"
#include "host/files.h"
#include "host/whole_file.h"

namespace vsf::test {
namespace {

class OwnFilesTest : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    std::ofstream(victim()) << "theirs";
  }
  void TearDown() override {
    host::injectNameClash({});
    DataTest::TearDown();
  }
  fs::path victim() const { return lib / "victim.txt"; }
  std::set<std::string> names() const {
    std::set<std::string> out;
    for (auto& e : fs::directory_iterator(lib)) out.insert(e.path().filename().string());
    return out;
  }
};

// Each kind of file meets, at the first name it draws, a link to someone else's file or a file
// a killed run left; it takes another name and both stay as they were. When every name drawn
// is taken the write fails with the reason, and the next write clears the links away.
TEST_F(OwnFilesTest, ANameTakenIsPassedOver) {
  std::vector<fs::path> planted, drawn;
  host::injectNameClash([&](const fs::path& name) {
    if (drawn.size() % 4 == 0) fs::create_symlink(victim(), name);
    if (drawn.size() % 4 == 2) std::ofstream(name) << "left";
    if (drawn.size() % 2 == 0) planted.push_back(name);
    drawn.push_back(name);
  });
  // A page file, a scratch file, an unnamed file and a copy of a semicolon-separated file in
  // UTILPATH, and a document beside its target: the files' own tests read them back.
  auto* pages = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
  auto* scratch = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  ASSERT_TRUE(pages && scratch);
  PageStream* s = pages->createStream();
  s->setPath(util.string());
  s->fillDefaults();
  PageDescriptor page{1, s->newPageBuffer()};
  EXPECT_TRUE(s->open() == 0 && s->writePage(&page) == 0);
  s->releasePageBuffer(&page);
  s->release();
  uint32_t status = 1;
  ScratchFileObject* f = scratch->open(util.string(), "", &status);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->write("ours", 4), 0);
  f->release();
  std::FILE* unnamed = host::anonymousFile();
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(std::fputs("ours", unnamed), 1);
  std::fclose(unnamed);
  pages->release();
  scratch->release();
  write("semi.csv", "a;b\n1,5;2\n");
  host::CsvDialect dialect;
  fs::path copy;
  std::string error;
  ASSERT_TRUE(host::readDialect(lib / "semi.csv", util, &dialect, &copy, &error)) << error;
  EXPECT_EQ(fileText(copy), "a,b\n1.5,2\n");
  host::untrackFile(copy);
  fs::remove(copy);
  ASSERT_TRUE(host::writeFileWhole(lib / "doc.json", "{}", &error)) << error;

  const std::regex own("vsf_" + std::to_string(::getpid()) +
                       R"(_\d+_[A-Za-z0-9]{6}(\.utl|\.tmp|\.csv)?)");
  const std::regex beside(R"(\.doc\.json\.varsifter-[A-Za-z0-9]{6}\.tmp)");
  ASSERT_EQ(drawn.size(), 10u);  // five files, each at its second name
  for (size_t i = 0; i < drawn.size(); ++i) {
    SCOPED_TRACE(drawn[i]);
    const std::string name = drawn[i].filename().string();
    EXPECT_TRUE(std::regex_match(name, own) || std::regex_match(name, beside));
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), drawn[i]), 1);
    EXPECT_EQ(fileKind(drawn[i]), i % 4 == 0 ? 'l' : i % 4 == 2 ? 'f' : '-');
  }
  EXPECT_EQ(fileText(planted[1]), "left");
  EXPECT_EQ(fileText(victim()), "theirs");

  host::injectNameClash([&](const fs::path& name) { fs::create_symlink(victim(), name); });
  EXPECT_FALSE(host::writeFileWhole(lib / "doc.json", "[]", &error));
  EXPECT_NE(error.find("(File exists)"), std::string::npos) << error;
  host::injectNameClash({});
  ASSERT_TRUE(host::writeFileWhole(lib / "doc.json", "[]", &error)) << error;
  EXPECT_EQ(fileText(lib / "doc.json"), "[]");
  EXPECT_EQ(fileText(victim()), "theirs");
  for (const std::string& name : names()) EXPECT_FALSE(name.starts_with(".doc.json.")) << name;
}

// A killed run's temporary file goes with the next write beside it, also when its process
// number came back (ours: in a container every run is process 1), and a link so named goes
// without its file. One that a live run holds locked stays, until the run lets it go. A file
// without the program's mark in its name is a user's, whatever it looks like: it stays.
TEST_F(OwnFilesTest, CleanUpLeavesWhatLiveRunsWrite) {
  // This process writes c.csv; its temporary file, untracked, is held by its lock alone.
  host::WholeFile c;
  std::string error;
  ASSERT_TRUE(c.prepare(lib / "c.csv", &error)) << error;
  ASSERT_TRUE(c.open());
  std::string writing;
  for (const std::string& name : names())
    if (name.starts_with(".c.csv.")) writing = name;
  ASSERT_TRUE(writing.starts_with(".c.csv.varsifter-")) << writing;
  host::untrackFile(lib / writing);
  ASSERT_EQ(host::writeFully(c.fd(), "c\n1\n"), 0);

  const std::string pid = std::to_string(::getpid());
  const std::set<std::string> users = {".a.csv.Ab12Cd.tmp",           ".other.csv.AAAAAA.tmp",
                                       ".a.csv." + pid + ".0.tmp",    ".a.csv.varsifter-Short.tmp",
                                       ".a.csv.varsifter-Ab12C!.tmp", "a.csv.varsifter-Ab12Cd.tmp"};
  for (const std::string& name : users) write(name, "theirs");
  for (const std::string name : {".a.csv.varsifter-Ab12Cd.tmp", ".b.csv.varsifter-zzzzzz.tmp",
                                 ".a.csv.varsifter-Live01.tmp"})
    write(name, "left");
  fs::create_symlink(victim(), lib / ".a.csv.varsifter-Linked.tmp");
  const int live = ::open((lib / ".a.csv.varsifter-Live01.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);

  std::set<std::string> kept = users;
  kept.insert({"c.csv", "util", "victim.txt"});
  ASSERT_TRUE(host::writeFileWhole(lib / "a.csv", "a\n1\n", &error)) << error;
  std::set<std::string> expected = kept;
  expected.insert({".a.csv.varsifter-Live01.tmp", "a.csv", writing});
  expected.erase("c.csv");
  EXPECT_EQ(names(), expected);
  EXPECT_EQ(fileText(victim()), "theirs");
  ::close(live);
  ASSERT_TRUE(host::writeFileWhole(lib / "a.csv", "a\n2\n", &error)) << error;
  EXPECT_FALSE(fs::exists(lib / ".a.csv.varsifter-Live01.tmp"));
  ASSERT_TRUE(c.commit());
  EXPECT_EQ(fileText(lib / "c.csv"), "c\n1\n");
  kept.insert("a.csv");
  EXPECT_EQ(names(), kept);
  for (const std::string& name : users) EXPECT_EQ(fileText(lib / name), "theirs") << name;
}

}  // namespace
}  // namespace vsf::test
