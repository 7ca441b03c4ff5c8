#include "host/files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <numeric>
#include <vector>

#include "base/host.h"
#include "common/test_host.h"
#include "host/extensions.h"

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

TEST(ScratchFiles, PositionedWritesAndReads) {
  test::ensureHost();
  auto* ext = dynamic_cast<HxStreamX*>(kernel().extensionLoad("hxstreamx"));
  ASSERT_NE(ext, nullptr);
  std::string path = (host::utilDirectory() / "vsf_test_scratch_1.utl").string();
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

}  // namespace
}  // namespace vsf
