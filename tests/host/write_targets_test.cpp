// Whole-file writes look at their target first: a link is followed and stays a link, a FIFO or a
// character device is written in place and stays what it was, other special files are refused,
// and a failure says the system's reason. Temporary files of runs that are gone are removed.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "common/files.h"
#include "host/data_test_util.h"
#include "host/whole_file.h"

namespace vsf::test {
namespace {

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> out;
  for (auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

class WriteTargetTest : public DataTest {};

TEST_F(WriteTargetTest, EachKindOfTargetStaysWhatItWas) {
  const fs::path elsewhere = lib / "real";
  fs::create_directory(elsewhere);
  std::ofstream(elsewhere / "doc.json") << "old";
  fs::create_symlink(elsewhere / "doc.json", lib / "link.json");
  fs::create_symlink("real/doc.json", lib / "relative.json");
  fs::create_symlink(elsewhere / "new.json", lib / "dangling.json");
  fs::create_symlink(lib / "link.json", lib / "chain.json");
  fs::create_symlink(lib / "loop1", lib / "loop2");
  fs::create_symlink(lib / "loop2", lib / "loop1");
  const fs::path full = fullDevice(lib);

  struct Case {
    fs::path target;
    bool ok;
    const char* says;  // in the error, when it fails
    fs::path holds;    // the file that holds the text afterwards
  } cases[] = {
      {lib / "plain.json", true, "", lib / "plain.json"},
      {lib / "link.json", true, "", elsewhere / "doc.json"},
      {lib / "relative.json", true, "", elsewhere / "doc.json"},
      {lib / "chain.json", true, "", elsewhere / "doc.json"},
      {lib / "dangling.json", true, "", elsewhere / "new.json"},
      {full, false, "No space left on device", ""},
      {elsewhere, false, "it is a directory", ""},
      {lib / "loop1", false, "Too many levels of symbolic links", ""},
      {lib / "nodir" / "x.json", false, "No such file or directory", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const char kind = fileKind(c.target);
    std::string error;
    EXPECT_EQ(host::writeFileWhole(c.target, "{\"new\": 1}", &error), c.ok) << error;
    EXPECT_EQ(fileKind(c.target), kind == '-' && c.ok ? 'f' : kind);
    if (c.ok) {
      EXPECT_EQ(fileText(c.holds), "{\"new\": 1}");
    } else {
      EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
  }
  EXPECT_EQ(fileKind(full), 'c');

  // No temporary file stays anywhere.
  for (const fs::path& dir : {lib, elsewhere})
    for (const std::string& name : entries(dir)) EXPECT_FALSE(name.ends_with(".tmp")) << name;
}

// The step's own input is never its output, and two outputs never share a name.
TEST_F(WriteTargetTest, AStepWritesNoFileItReadsOrWritesAlready) {
  write("in.csv", "a\n1\n");
  fs::create_symlink(lib / "in.csv", lib / "alias.csv");
  open("in");
  const std::string quoted = "'" + lib.string() + "/";
  struct Case {
    std::string name;
    const char* says;
  } cases[] = {
      {"in", "is read by this step"},
      {"WORK.IN", "is read by this step"},
      {"alias", "is read by this step"},
      {quoted + "in.csv'", "is read by this step"},
      {quoted + "IN.csv'", nullptr},  // another file where names are case-sensitive
      {"out", nullptr},
      {"OUT", "already an output of this step"},
      {quoted + "out.csv'", "already an output of this step"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t status = 0;
    HostDataSet* out = ds().outCreate(c.name, 1, &status);
    EXPECT_EQ(out == nullptr, c.says != nullptr);
    if (c.says) {
      EXPECT_NE(lastError().find(c.says), std::string::npos) << lastError();
    }
  }
  // Reading what the step is writing is refused too.
  uint32_t status = 0;
  EXPECT_EQ(ds().open("out", kDsInput, &status), nullptr);
  EXPECT_NE(lastError().find("is written by this step"), std::string::npos) << lastError();
  host::closeStepDataSets();
  EXPECT_EQ(fileText(lib / "in.csv"), "a\n1\n");
  // The next step starts afresh.
  EXPECT_NE(ds().outCreate("out", 1, &status), nullptr);
}

// A run killed while writing leaves a temporary file; the next write into the library removes
// those of any data set, named with the program's mark, and keeps everything else: a name
// without the mark may be a user's file, whatever process number it seems to carry.
TEST_F(WriteTargetTest, TemporaryFilesOfGoneRunsAreRemoved) {
  const std::set<std::string> stay = {".b.csv.1.0.tmp",
                                      ".notes.txt.999999999.0.tmp",
                                      ".x.csv.tmp",
                                      "a.csv.9.9.tmp",
                                      ".y.csv.12a.0.tmp",
                                      ".a.csv.999999999.0.tmp",
                                      ".b.csv.999999998.12.tmp",
                                      ".notes.txt.varsifter-Ab12Cd.tmp",
                                      ".c.csv.varsifter-Ab12Cd.tmp.tmp"};
  const std::set<std::string> gone = {".a.csv.varsifter-Ab12Cd.tmp", ".b.csv.varsifter-999999.tmp"};
  for (const auto& set : {stay, gone})
    for (const std::string& name : set) std::ofstream(lib / name) << "left";
  HostDataSet* out = ds().outCreate("a", 1, nullptr);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(ds().outReady(out), 0);
  ASSERT_EQ(ds().outClose(out, true), 0);
  std::set<std::string> want = stay;
  want.insert({"a.csv", "util"});
  EXPECT_EQ(entries(lib), want);
}

// A failed write names the target, the file its link leads to, and the directory when the
// directory refused the file (a privileged run cannot be refused so, hence no run of its own).
TEST(WriteFault, NamesTheLinkedFileAndTheDirectoryAtFault) {
  const struct {
    const char *target, *file;
    int error;
    bool making;
    const char* says;
  } cases[] = {
      {"./o1.csv", "./o1.csv", EACCES, false,
       "./o1.csv: no file can be made in its directory . (Permission denied)"},
      {"o1.csv", "", EROFS, false,
       "o1.csv: no file can be made in its directory . (Read-only file system)"},
      {"lib/o.csv", "data/o.csv", EPERM, false,
       "lib/o.csv, a link to data/o.csv: no file can be made in its directory data (Operation "
       "not permitted)"},
      {"lib/o.csv", "data/o.csv", ENOSPC, false,
       "lib/o.csv, a link to data/o.csv (No space left on device)"},
      {"x/o.json", "x/o.json", ENOENT, true,
       "x/o.json: no file can be made in its directory x (No such file or directory)"},
      {"o.json", "o.json", ENOENT, false, "o.json (No such file or directory)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(host::writeFault(c.target, c.file, c.error, c.making), c.says);
}

}  // namespace
}  // namespace vsf::test
