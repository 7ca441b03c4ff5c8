// The formatting session for CLASS values: widths by the width option, one set of handles
// per worker, the failures that leave nothing behind, and the texts of the hxformat
// extension (the same as the host's bound formatted reads).
#include <gtest/gtest.h>

#include "frame/host/extensions.h"
#include "host/extensions.h"
#include "levelize/lev_harness.h"

namespace vsf {
namespace {

using test::LevHarness;

// orders.csv: s (character, length 2), v and t (numeric).
struct Session {
  explicit Session(LevHarness& h, int workers, int option, std::vector<int> vars = {0, 1})
      : numbers(std::move(vars)) {
    s = zfmtopen(h.input, numbers.data(), static_cast<int>(numbers.size()), workers, &status,
                 option);
  }
  ~Session() { zfmtclose(&s); }
  std::vector<int> numbers;
  FormatSession* s = nullptr;
  int status = -1;
};

TEST(FormatSession, WidthsByOption) {
  LevHarness h("orders");
  struct Case {
    int option;
    std::vector<int32_t> output;  // s, v
    int32_t widestRaw;
  } cases[] = {
      {-1, {2, 12}, 8},  // own width: a character's length, 12 for a number without a format
      {-2, {2, 12}, 8},  // the format width
      {0, {16, 16}, 8},
      {5, {5, 5}, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    Session ss(h, 2, c.option);
    ASSERT_EQ(ss.status, fmtstatus::kOk);
    ASSERT_NE(ss.s, nullptr);
    EXPECT_EQ(std::vector<int32_t>(ss.s->outputWidth, ss.s->outputWidth + 2), c.output);
    EXPECT_EQ(std::vector<int32_t>(ss.s->type, ss.s->type + 2), (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(ss.s->widestRaw, c.widestRaw);
    EXPECT_EQ(ss.s->widestOutput, std::max(c.output[0], c.output[1]));
    EXPECT_EQ(ss.s->workerCount, 2);
    for (int w = 0; w < 2; ++w) {
      const FormatWorkerRecord& r = ss.s->workers[w];
      EXPECT_EQ(r.text, r.buffer + ss.s->widestRaw);
      EXPECT_NE(r.wideChar, nullptr);  // s is character
      EXPECT_NE(r.handles[0], r.handles[1]);
    }
    EXPECT_NE(ss.s->workers[0].handles[0], ss.s->workers[1].handles[0]);
    EXPECT_EQ(ss.s->encoding, 20);
  }
}

TEST(FormatSession, FailuresLeaveNothingBehind) {
  LevHarness h("orders");
  host::keepPoolLog(true);
  {
    Session bad(h, 0, -1);  // no worker
    EXPECT_EQ(bad.status, fmtstatus::kArguments);
    EXPECT_EQ(bad.s, nullptr);
    Session none(h, 1, -1, {});
    EXPECT_EQ(none.status, fmtstatus::kArguments);
  }
  EXPECT_TRUE(host::takePoolLog().empty());  // nothing was made
  {
    host::refuseExtension("hxformat");
    Session refused(h, 1, -1);
    host::refuseExtension("");
    EXPECT_EQ(refused.status, fmtstatus::kResource);
    EXPECT_EQ(refused.s, nullptr);
  }
  auto log = host::takePoolLog();
  EXPECT_EQ(log, (std::vector<std::string>{"+Format pool", "-Format pool"}));
  {
    Session unknown(h, 1, -1, {0, 99});  // no such variable
    EXPECT_EQ(unknown.status, fmtstatus::kResource);
  }
  // The session encoding cannot be read.
  int64_t saved = 0;
  ASSERT_EQ(kernel().nameValueGetInt("HXNLS.QPW_SESSION_CEI", &saved), 0u);
  kernel().nameValueSetText("HXNLS.QPW_SESSION_CEI", "not a number");
  host::takePoolLog();
  {
    Session encoding(h, 1, -1);
    EXPECT_EQ(encoding.status, fmtstatus::kEncoding);
    EXPECT_EQ(encoding.s, nullptr);
  }
  kernel().nameValueSetText("HXNLS.QPW_SESSION_CEI", "");  // a text key takes a number when empty
  ASSERT_EQ(kernel().nameValueSetInt("HXNLS.QPW_SESSION_CEI", saved), 0u);
  EXPECT_EQ(host::takePoolLog(), (std::vector<std::string>{"+Format pool", "-Format pool"}));
  host::keepPoolLog(false);
}

// The handles format as the host's bound formatted reads do, so that levels found by workers
// are the levels found on one thread.
TEST(FormatSession, HandlesFormatLikeBoundReads) {
  LevHarness h("orders");
  Session ss(h, 1, -1, {0, 1});
  ASSERT_EQ(ss.status, 0);
  ValueFormat* s = ss.s->workers[0].handles[0];
  ValueFormat* v = ss.s->workers[0].handles[1];
  char out[16];
  struct Case {
    ValueFormat* f;
    double number;
    const char* text;
    int width;
    const char* want;
  } cases[] = {
      {v, 2.5, "", 12, "2.5         "},
      {v, -1, "", 4, "-1  "},
      {v, missingValue('.'), "", 3, ".  "},
      {v, 1.04, "", 3, "1  "},  // the best format of 3 characters
      {s, 0, " 9", 2, " 9"},
      {s, 0, "abc", 2, "ab"},
  };
  for (const Case& c : cases) {
    std::memset(out, 0, sizeof out);
    c.f->format(c.number, c.text, out, c.width);
    EXPECT_EQ(std::string(out, static_cast<size_t>(c.width)), c.want);
  }
  // What a bound read of the same values delivers.
  LevHarness b("orders");
  b.addClass("t").formattedWidth = 3;
  b.build();
  ASSERT_TRUE(b.nextGroup());
  levPrepare(&b.ctx);
  b.ctx.start(&b.ctx);
  ASSERT_TRUE(b.ctx.next(&b.ctx));
  char t[4] = {};
  char* formatted[1] = {t};
  FetchTargets targets;
  targets.formatted = formatted;
  b.ctx.fetch(&b.ctx, "c", targets);
  ValueFormat* tf = ss.s->workers[0].handles[1];
  tf->format(1.04, "", out, 3);
  EXPECT_EQ(std::string(t, 3), std::string(out, 3));
}

}  // namespace
}  // namespace vsf
