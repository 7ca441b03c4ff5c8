#include "base/hostcalls.h"

#include <gtest/gtest.h>

#include <array>

#include "base/host.h"
#include "common/test_host.h"

namespace vsf {
namespace {

int echoArgument(HostObject*, void* argument, void*, int count, OutputArgItem*) {
  return static_cast<int>(reinterpret_cast<intptr_t>(argument)) + count;
}

TEST(OutputCalls, HandlerChainIsSearchedFromTheObjectsTable) {
  // Two entries in one bucket of the child table, a third in the parent.
  HandlerEntry parentEntry{nullptr, reinterpret_cast<void*>(300), echoArgument, nullptr, 7};
  std::array<HandlerEntry*, 4> parentBuckets{};
  parentBuckets[7 & 3] = &parentEntry;
  HandlerTable parent{nullptr, parentBuckets.data(), 3};
  HandlerEntry second{nullptr, reinterpret_cast<void*>(200), echoArgument, nullptr, 5};
  HandlerEntry first{&second, reinterpret_cast<void*>(100), echoArgument, nullptr, 1};
  std::array<HandlerEntry*, 4> childBuckets{};
  childBuckets[1] = &first;
  HandlerTable child{&parent, childBuckets.data(), 3};
  HostObject object{&child};
  EXPECT_EQ(zhdlcall(&object, nullptr, 1, 2, nullptr), 102);
  EXPECT_EQ(zhdlcall(&object, nullptr, 5, 0, nullptr), 200);  // second entry of the bucket
  EXPECT_EQ(zhdlcall(&object, nullptr, 7, 1, nullptr), 301);  // found in the parent
  EXPECT_EQ(static_cast<uint32_t>(zhdlcall(&object, nullptr, 9, 0, nullptr)), hs::kNoOperation);
  EXPECT_EQ(zhdlcall(&object, &parent, 1, 0, nullptr),
            static_cast<int>(hs::kNoOperation));  // a given table starts the search there
}

TEST(OutputCalls, OnlyFacility63Number53IsTolerated) {
  test::ensureHost();
  uint32_t tolerated = 0x80000000u | (63u << 11) | 53u;
  EXPECT_TRUE(isToleratedStatus(tolerated));
  EXPECT_NO_THROW(zrcabort(tolerated));
  uint32_t refused = 0x80000000u | (63u << 11) | 54u;
  EXPECT_TRUE(test::endsStep([&] { zrcabort(refused); }, 120));
}

// Formatting through the log object: insertions in their places, the buffer always
// terminated, a cut text told by a length of the buffer's size or more.
TEST(LogHelpers, FormatIntoABufferCutsAndSaysSo) {
  test::ensureHost();
  char out[16];
  EXPECT_EQ(zlogfmt(out, sizeof out, "{2} after {1}", {3, "step"}), 12);
  EXPECT_STREQ(out, "step after 3");
  EXPECT_EQ(zlogfmt(out, sizeof out, "Pass {1} over the stored rows", {12}), 28);
  EXPECT_STREQ(out, "Pass 12 over th");
  EXPECT_EQ(zlogfmt(nullptr, 0, "{1}", {1.5}), 3);
}

TEST(NameValueHelpers, KeywordLookupTrimsOnlyTrailingBlanks) {
  test::ensureHost();
  kernel().nameValueSetText("OSENV.T_RNG", "mt64   ");
  EXPECT_EQ(hxnrlook("OSENV.T_RNG", -1, {{"MT", 1}, {"MT64", 2}}), 2);
  kernel().nameValueSetText("OSENV.T_RNG", " mt64");
  EXPECT_EQ(hxnrlook("OSENV.T_RNG", -1, {{"MT", 1}, {"MT64", 2}}), -1);
  std::string after;
  kernel().nameValueGetText("OSENV.T_RNG", &after);
  EXPECT_EQ(after, "");  // an unrecognised value is cleared after its report
  EXPECT_EQ(hxnrlook("OSENV.T_ABSENT", 9, {{"A", 1}}), 9);
}

TEST(NameValueHelpers, CountdownStopsAtMinusOne) {
  test::ensureHost();
  EXPECT_EQ(hxnrlimit("OSENV.T_LIMIT", 100), 100);  // absent: stored and returned
  int64_t stored = 0;
  ASSERT_EQ(kernel().nameValueGetInt("OSENV.T_LIMIT", &stored), 0u);
  EXPECT_EQ(stored, 100);
  hxnrlset("OSENV.T_LIMIT", 1);
  EXPECT_EQ(hxnrlimit("OSENV.T_LIMIT", 100), 0);
  EXPECT_EQ(hxnrlimit("OSENV.T_LIMIT", 100), -1);
  EXPECT_EQ(hxnrlimit("OSENV.T_LIMIT", 100), -1);
  // A counter kept as text is read as an integer: blanks, sign, zero decimals.
  kernel().nameValueSetText("OSENV.T_TEXTLIMIT", "  +7.00 ");
  EXPECT_EQ(hxnrlimit("OSENV.T_TEXTLIMIT", 100), 6);
  kernel().nameValueSetText("OSENV.T_BADLIMIT", "seven");
  EXPECT_EQ(hxnrlimit("OSENV.T_BADLIMIT", 3), 99);  // unreadable: 100 is used
  kernel().nameValueSetText("OSENV.T_BIGLIMIT", "99999999999");
  EXPECT_EQ(hxnrlimit("OSENV.T_BIGLIMIT", 3), 2147483646);
}

TEST(Events, WaitGivesThePositionOfTheSetEvent) {
  test::ensureHost();
  HostEvent* e[2] = {kernel().eventCreate(), kernel().eventCreate()};
  kernel().eventSet(e[1]);  // the second object is the workers' quit event
  int position = 0;
  EXPECT_EQ(zevwait(2, e, &position, -1), 0u);
  EXPECT_EQ(position, 2);
  EXPECT_EQ(zevwait(0, e, &position, -1), hs::kNoWaitObject);
  kernel().eventDestroy(e[0]);
  kernel().eventDestroy(e[1]);
}

TEST(Clock, MonotoneAndProcessorInfo) {
  test::ensureHost();
  double a = zhostclock(), b = zhostclock();
  EXPECT_LE(a, b);
  CpuInfoRecord cpu;
  zcpuinfo(&cpu);
  EXPECT_GE(cpu.logicalCpus, 1);
  EXPECT_EQ(zthrexit(), 0);
}

}  // namespace
}  // namespace vsf
