#include "host/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <vector>

#include "base/host.h"
#include "common/files.h"
#include "common/test_host.h"
#include "host/faults.h"
#include "host/session.h"
#include "host/util_directory.h"

namespace vsf {
namespace {

TEST(PageFiles, RoundTripAtSeveralPageSizes) {
  test::ensureHost();
  auto* ext = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
  ASSERT_NE(ext, nullptr);
  for (int pageSize : {4096, 65536, 1 << 20}) {
    PageStream* s = ext->createStream();
    s->setPath(host::utilDirectory().string());
    s->fillDefaults();
    s->setAttributes(pageSize, pageSize);
    ASSERT_EQ(s->open(), 0);
    ASSERT_EQ(s->pageLength(), pageSize);
    const int pages = 5;
    // Write pages out of order; each holds its page number in every double.
    for (int p : {3, 1, 5, 2, 4}) {
      PageDescriptor d{p, s->newPageBuffer()};
      auto* v = static_cast<double*>(d.buffer);
      for (int i = 0; i < pageSize / 8; ++i) v[i] = p * 1000.0 + i;
      ASSERT_EQ(s->writePage(&d), 0);
      s->releasePageBuffer(&d);
      EXPECT_EQ(d.buffer, nullptr);
    }
    s->setOpenFields(1, 4, 0);
    ASSERT_EQ(s->commit(0), 0);
    ASSERT_EQ(s->open(), 0);
    for (int p = 1; p <= pages; ++p) {
      PageDescriptor d{p, nullptr};
      ASSERT_EQ(s->readPage(&d), 0);
      auto* v = static_cast<double*>(d.buffer);
      EXPECT_EQ(v[0], p * 1000.0);
      EXPECT_EQ(v[pageSize / 8 - 1], p * 1000.0 + pageSize / 8 - 1);
      s->releasePageBuffer(&d);
    }
    PageDescriptor bad{0, nullptr};
    EXPECT_NE(s->readPage(&bad), 0);  // pages count from 1
    s->commit(1);
    s->release();
  }
  ext->release();
}

// Without UTILPATH the temporary directory follows the environment's naming, whichever way it
// last changed (a remembered look-up must not stick to the first).
TEST(ScratchFiles, TheUtilityDirectoryFollowsTheEnvironment) {
  test::ensureHost();
  const std::string kept = host::session().options.utilPath;
  const char* was = std::getenv("TMPDIR");
  const std::string before = was ? was : "";
  host::session().options.utilPath.clear();
  const std::filesystem::path one = test::ownTempPath("vsf_util_one");
  const std::filesystem::path two = test::ownTempPath("vsf_util_two");
  std::filesystem::create_directories(one);
  std::filesystem::create_directories(two);
  for (const std::filesystem::path& dir : {one, two, one}) {
    ::setenv("TMPDIR", dir.c_str(), 1);
    EXPECT_EQ(host::utilDirectory(), dir);
    EXPECT_EQ(host::utilDirectory(), dir);
  }
  if (was)
    ::setenv("TMPDIR", before.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
  host::session().options.utilPath = kept;
  EXPECT_EQ(host::utilDirectory().string(),
            kept.empty() ? std::filesystem::temp_directory_path().string() : kept);
  std::filesystem::remove(one);
  std::filesystem::remove(two);
}

// A directory found usable is remembered until the step ends; a plain file or a missing one
// is no directory, and a no is asked again each time.
TEST(ScratchFiles, ADirectoryCheckedOnceAStepIsRemembered) {
  test::ensureHost();
  host::removeStepFiles();
  const std::filesystem::path dir = test::ownTempPath("vsf_checked_dir");
  const std::filesystem::path file = test::ownTempPath("vsf_checked_file");
  std::filesystem::remove_all(dir);
  std::FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  for (auto check : {host::DirectoryCheck::kExists, host::DirectoryCheck::kWritable}) {
    SCOPED_TRACE(static_cast<int>(check));
    EXPECT_FALSE(host::checkDirectory(dir, check));  // not there yet
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(host::checkDirectory(dir, check));
    std::filesystem::remove(dir);
    EXPECT_TRUE(host::checkDirectory(dir, check));  // remembered in the step
    host::removeStepFiles();
    EXPECT_FALSE(host::checkDirectory(dir, check));  // a new step asks again
  }
  EXPECT_FALSE(host::checkDirectory(file, host::DirectoryCheck::kExists));
  std::filesystem::remove(file);
}

TEST(ScratchFiles, PositionedWritesAndReads) {
  test::ensureHost();
  auto* ext = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  ASSERT_NE(ext, nullptr);
  std::string path =
      (host::utilDirectory() / ("vsf_test_scratch_" + std::to_string(::getpid()) + ".utl"))
          .string();
  uint32_t status = 1;
  ScratchFileObject* f = ext->open(path, "Scratch file for varsifter", &status);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(status, 0u);
  std::vector<double> a(1000), b(1000);
  std::iota(a.begin(), a.end(), 0.5);
  ASSERT_EQ(f->seek(8000), 0);
  ASSERT_EQ(f->write(a.data(), 8000), 0);
  ASSERT_EQ(f->seek(0), 0);
  ASSERT_EQ(f->write(a.data(), 80), 0);
  ASSERT_EQ(f->seek(8000), 0);
  ASSERT_EQ(f->read(b.data(), 8000), 0);
  EXPECT_EQ(a, b);
  ASSERT_EQ(f->seek(15000), 0);
  EXPECT_NE(f->read(b.data(), 8000), 0);  // past the end: a failure, not zeros
  f->release();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(ext->deleteByPath(path), 0);
  EXPECT_FALSE(std::filesystem::exists(path));

  // A scratch file left open by a failed step is removed by the host at the end of the step.
  ScratchFileObject* g = ext->open(path, "Scratch file for varsifter", &status);
  g->release();
  host::removeStepFiles();
  EXPECT_FALSE(std::filesystem::exists(path));
  ext->release();
}

// An unnamed scratch file released in a step serves the next one asked for in its directory, as
// a BY step asks for one a group, reading as empty: nothing an earlier group wrote beyond what
// the new one wrote is read, though the file still holds it. The end of the step lets it go.
TEST(ScratchFiles, AnUnnamedFileServesTheNextOneEmpty) {
  test::ensureHost();
  host::removeStepFiles();
  auto* ext = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  ASSERT_NE(ext, nullptr);
  int made = 0;
  host::injectNameClash([&](const std::filesystem::path&) { ++made; });
  const std::string dir = host::utilDirectory().string();
  uint32_t status = 1;
  char bytes[16] = "fifteen bytes!";
  for (int group = 0; group < 3; ++group) {
    ScratchFileObject* f = ext->open(dir, "", &status);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(status, 0u);
    char read[16] = {};
    EXPECT_NE(f->read(read, 8), 0);   // empty: nothing of the last group's is left
    const int at = 100 - 40 * group;  // each group writes less than the one before
    ASSERT_EQ(f->seek(at), 0);
    ASSERT_EQ(f->write(bytes, sizeof bytes), 0);
    ASSERT_EQ(f->seek(at), 0);
    ASSERT_EQ(f->read(read, sizeof read), 0);
    EXPECT_STREQ(read, bytes);
    EXPECT_NE(f->read(read, 8), 0);  // the end of this group's, not of the file
    f->release();
  }
  EXPECT_EQ(made, 1);
  host::removeStepFiles();
  ScratchFileObject* f = ext->open(dir, "", &status);
  ASSERT_NE(f, nullptr);
  f->release();
  EXPECT_EQ(made, 2);  // a new step makes its own
  host::injectNameClash({});
  host::removeStepFiles();
  ext->release();
}

// An interrupted run's clean-up removes the files being written, after which none is made,
// named or unnamed, nor renamed into place: 0 when so.
int endedFiles(const std::filesystem::path& dir) {
  std::filesystem::path writing;
  std::filesystem::path later;
  const bool made = host::makeNewFile(dir, "o", ".tmp", 0600, &writing) >= 0;
  host::endFiles();
  const bool refused =
      host::makeNewFile(dir, "p", ".tmp", 0600, &later, host::NewFile::kUnnamed) < 0 &&
      errno == ECANCELED;
  const bool kept = !host::renameTracked(writing, dir / "o.csv") && errno == ECANCELED;
  return made && refused && kept && std::filesystem::is_empty(dir) ? 0 : 1;
}

// In a process of its own: the end is for good.
TEST(EndedFilesDeathTest, NoneIsMadeOrRenamedAfterTheEnd) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs the test afresh, so it makes a directory of its own, and removes it.
  const std::filesystem::path dir = test::ownTempPath("vsf_ended");
  std::filesystem::create_directories(dir);
  EXPECT_EXIT(
      {
        const int code = endedFiles(dir);
        std::filesystem::remove_all(dir);
        std::_Exit(code);
      },
      testing::ExitedWithCode(0), "");
  std::filesystem::remove_all(dir);
}

// Every failed open, write or read of a page or scratch file is kept with the file and the
// system's reason until the procedure takes it for its message: a directory under a plain
// file cannot be opened, a full device takes no byte, a read across the end finds less than was
// written. Reading up to the end, as the readers of the knots' values do, is no failure.
TEST(FileFailures, NameTheFileAndTheReason) {
  test::ensureHost();
  const std::filesystem::path plain =
      host::utilDirectory() / ("vsf_test_plain_" + std::to_string(::getpid()));
  std::FILE* made = std::fopen(plain.c_str(), "w");
  ASSERT_NE(made, nullptr);
  std::fclose(made);
  const std::string under = (plain / "sub").string();
  const std::string full = test::fullDevice(host::utilDirectory()).string();
  auto* pages = dynamic_cast<HxStream*>(kernel().extensionLoad("hxstream"));
  auto* scratch = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  ASSERT_TRUE(pages && scratch);
  std::vector<char> bytes(64);
  uint32_t status = 0;
  struct Case {
    const char* what;
    std::function<int()> fail;
    std::string path;  // the file named, or its directory
    char operation;
    std::string reason;
  } cases[] = {
      {"page file in a directory under a plain file",
       [&] {
         PageStream* s = pages->createStream();
         s->setPath(under);
         s->fillDefaults();
         const int rc = s->open();
         s->release();
         return rc;
       },
       under, 'o', "Not a directory"},
      {"scratch file under a plain file",
       [&] { return scratch->open(under + "/x.utl", "", &status) ? 0 : -1; }, under, 'o',
       "Not a directory"},
      {"scratch file on a full device",
       [&] {
         ScratchFileObject* f = scratch->open(full, "", &status);
         host::untrackFile(full);  // the end of a step must not remove the device
         const int rc = f ? f->write(bytes.data(), 64) : 0;
         if (f) f->release();
         return rc;
       },
       full, 'w', "No space left on device"},
      {"scratch file read across its end",
       [&] {
         ScratchFileObject* f = scratch->open(host::utilDirectory().string(), "", &status);
         const int rc =
             f && f->write(bytes.data(), 8) == 0 && f->seek(0) == 0 ? f->read(bytes.data(), 64) : 0;
         if (f) f->release();
         return rc;
       },
       host::utilDirectory().string(), 'r', "the file is shorter than what was written to it"},
  };
  HostFileFailure before;
  host::takeFileFailure(&before);  // what an earlier test left
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostFileFailure failure;
    EXPECT_FALSE(host::takeFileFailure(&failure));  // nothing left over
    EXPECT_NE(c.fail(), 0);
    ASSERT_TRUE(host::takeFileFailure(&failure));
    EXPECT_EQ(failure.path.rfind(c.path, 0), 0u) << failure.path;
    EXPECT_EQ(failure.operation, c.operation);
    EXPECT_EQ(failure.reason, c.reason);
  }
  ScratchFileObject* empty = scratch->open(host::utilDirectory().string(), "", &status);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty->read(bytes.data(), 8), 0);
  empty->release();
  HostScratch* values = hostv().varIO->scratchOpen();
  ASSERT_NE(values, nullptr);
  double one = 1;
  EXPECT_EQ(hostv().varIO->scratchWrite(values, &one, 1), 0);
  EXPECT_EQ(hostv().varIO->scratchRewind(values), 0);
  EXPECT_EQ(hostv().varIO->scratchRead(values, &one, 1), 0);
  EXPECT_NE(hostv().varIO->scratchRead(values, &one, 1), 0);
  hostv().varIO->scratchClose(values);
  HostFileFailure none;
  EXPECT_FALSE(host::takeFileFailure(&none)) << none.path;
  // The procedure's message names them; without a failure the message it had.
  test::LogWatch log;
  host::fileFailed("/x/vsf_1.utl", 'w', "No space left on device");
  hostFileMsg(848, 139);
  hostFileMsg(848, 139);
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[0].text,
            "The file /x/vsf_1.utl could not be written: No space left on device.");
  EXPECT_EQ(log.lines()[1].text,
            "A block of stored rows could not be written to its utility file.");
  pages->release();
  scratch->release();
  std::filesystem::remove(plain);
  if (full != "/dev/full") std::filesystem::remove(full);
}

// The host's sort of records through callbacks: in memory when one run holds them all, merged
// from runs on files otherwise; equal keys keep their input order either way.
TEST(CallbackRequests, SortsRecordsInRunsAndMerges) {
  struct Source {
    std::vector<double> in, out;  // (key, position) pairs
    size_t next = 0;
  };
  auto read = [](void* c, void* records, int64_t n) -> int64_t {
    auto* s = static_cast<Source*>(c);
    const int64_t k = std::min<int64_t>(n, static_cast<int64_t>(s->in.size() - s->next) / 2);
    std::memcpy(records, s->in.data() + s->next, static_cast<size_t>(k) * 16);
    s->next += static_cast<size_t>(2 * k);
    return k;
  };
  auto write = [](void* c, const void* records, int64_t n) {
    auto* s = static_cast<Source*>(c);
    const auto* x = static_cast<const double*>(records);
    s->out.insert(s->out.end(), x, x + 2 * n);
    return 0;
  };
  auto compare = [](void*, const void* a, const void* b) {
    double x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return x < y ? -1 : (x > y ? 1 : 0);
  };
  // One run; 25 runs merged at once; 258 runs merged in two rounds.
  for (int64_t work : {100000, 1000, 97}) {
    Source s;
    for (int i = 0; i < 25000; ++i) {
      s.in.push_back((i * 7919) % 997);  // many equal keys
      s.in.push_back(i);
    }
    HostCallbackRecord r;
    r.request = hcb::kSort;
    r.context = &s;
    r.recordBytes = 16;
    r.workRecords = work;
    r.read = read;
    r.write = write;
    r.compare = compare;
    ASSERT_EQ(host::runCallbackRequest(&r), 0) << work;
    ASSERT_EQ(s.out.size(), s.in.size()) << work;
    for (size_t k = 2; k < s.out.size(); k += 2) {
      ASSERT_LE(s.out[k - 2], s.out[k]) << work << " at " << k / 2;
      if (s.out[k - 2] == s.out[k]) {
        ASSERT_LT(s.out[k - 1], s.out[k + 1]) << work << " at " << k / 2;
      }
    }
  }
  HostCallbackRecord bad;
  EXPECT_EQ(static_cast<uint32_t>(host::runCallbackRequest(&bad)), hs::kBadRequest);
}

}  // namespace
}  // namespace vsf
