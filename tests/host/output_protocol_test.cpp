// The protocol's edges: the step driver's own requests, refused requests and their statuses,
// the request log and handles that outlive their step.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "frame/host/status.h"
#include "host/output_driver.h"

namespace vsf::test {
namespace {

namespace status = host::output::status;

int32_t st(uint32_t s) { return static_cast<int32_t>(s); }

TEST(OutputProtocol, StepDriverRequestsAreAnswered) {
  OutputDriver o;
  OutputArgItem ask = argFlag(key::kGraphicsOn, 0);
  EXPECT_EQ(OutputDriver::call(o.manager, op::kQuery, {ask}), 0);
  OutputArgItem asked[1] = {argFlag(key::kGraphicsOn, 0)};
  EXPECT_EQ(zhdlcall(static_cast<HostObject*>(o.manager), nullptr, op::kQuery, 1, asked), 0);
  EXPECT_EQ(asked[0].flagValue(), 1);  // graphics are on
  EXPECT_EQ(OutputDriver::call(o.manager, op::kGroupAttributes, {argInt(key::kGroupLevel, 2)}), 0);
  EXPECT_EQ(
      OutputDriver::call(host::outputRoot(), op::kGroupAttributes, {argInt(key::kGroupLevel, 3)}),
      0);
  // The manager is made only by the root, and only for "oxs".
  void* h = nullptr;
  EXPECT_EQ(OutputDriver::call(host::outputRoot(), op::kCreate,
                               {argBytes(key::kSystem, "xyz"), argBytes(key::kKind, "manager"),
                                argOutHandle(key::kHandle, &h)}),
            st(status::kBadArgument));
  EXPECT_EQ(OutputDriver::call(o.manager, op::kCreate,
                               {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "manager"),
                                argOutHandle(key::kHandle, &h)}),
            st(status::kUnknownKind));
}

// Each case builds what it needs and makes one request that must be refused.
TEST(OutputProtocol, RequestsThatCannotBeHonouredAreRefused) {
  struct Case {
    const char* what;
    int32_t status;
    std::function<int(OutputDriver&)> request;
  };
  int32_t n = 0;
  double d = 0;
  char text[4] = {};
  auto table = [&](OutputDriver& o) {
    void* t = o.create("data", "T");
    o.column(t, 3, "N", &n);
    return t;
  };
  const Case cases[] = {
      {"an operation a table does not have", st(hs::kNoOperation),
       [&](OutputDriver& o) { return OutputDriver::call(table(o), op::kFilteredView); }},
      {"a row before the columns end", st(status::kBadState),
       [&](OutputDriver& o) { return OutputDriver::call(table(o), op::kWriteRow); }},
      {"a row before the template", st(status::kBadState),
       [&](OutputDriver& o) {
         void* t = table(o);
         OutputDriver::call(t, op::kEndColumns);
         return OutputDriver::call(t, op::kWriteRow);
       }},
      {"a column after the columns end", st(status::kBadState),
       [&](OutputDriver& o) {
         void* t = table(o);
         OutputDriver::call(t, op::kEndColumns);
         return o.column(t, 5, "D", &d);
       }},
      {"a text column without a width", st(status::kBadArgument),
       [&](OutputDriver& o) { return o.column(table(o), 6, "S", text); }},
      {"an unknown column type", st(status::kBadArgument),
       [&](OutputDriver& o) { return o.column(table(o), 9, "X", &d); }},
      {"a column defined twice", st(status::kBadArgument),
       [&](OutputDriver& o) { return o.column(table(o), 5, "n", &d); }},
      {"a dynamic name without a value", st(status::kBadArgument),
       [&](OutputDriver& o) {
         return OutputDriver::call(table(o), op::kSetDynamic,
                                   {argString(key::kDynamicName, o.str("WD"))});
       }},
      {"a kind the manager does not make", st(status::kUnknownKind),
       [&](OutputDriver& o) {
         void* h = nullptr;
         return OutputDriver::call(
             o.manager, op::kCreate,
             {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "chart"),
              argOutHandle(key::kHandle, &h), argString(key::kName, o.str("C"))});
       }},
      {"a table without a name", st(status::kBadArgument),
       [&](OutputDriver& o) {
         void* h = nullptr;
         return OutputDriver::call(o.manager, op::kCreate,
                                   {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "data"),
                                    argOutHandle(key::kHandle, &h)});
       }},
      {"a bind without a template path", st(status::kBadArgument),
       [&](OutputDriver& o) {
         void* t = table(o);
         OutputDriver::call(t, op::kEndColumns);
         void* inst = nullptr;
         return OutputDriver::call(
             o.manager, op::kBindTemplate,
             {argOutHandle(0, &inst), argPointer(key::kTable, argtype::kOutHandle, t)});
       }},
      {"a release naming a table, not its instance", st(status::kBadHandle),
       [&](OutputDriver& o) {
         return OutputDriver::call(o.manager, op::kRelease,
                                   {argPointer(0, argtype::kOutHandle, table(o))});
       }},
      {"a request on a released table", st(status::kBadHandle),
       [&](OutputDriver& o) {
         void* t = table(o);
         o.finishTable(t, o.bind(t, "Stat.VARSIFTER.T"));
         return OutputDriver::call(t, op::kClose);
       }},
      {"a factoid entry on a data table", st(status::kBadState),
       [&](OutputDriver& o) {
         return OutputDriver::call(
             table(o), op::kFactoidRow,
             {argString(key::kLabel2, o.str("L")), argInt(key::kDynamicValue, 1)});
       }},
      {"a factoid entry without a value", st(status::kBadArgument),
       [&](OutputDriver& o) {
         return OutputDriver::call(o.create("factoid", "F"), op::kFactoidRow,
                                   {argString(key::kLabel2, o.str("L"))});
       }},
      {"a text line without text", st(status::kBadArgument),
       [&](OutputDriver& o) {
         return OutputDriver::call(o.manager, op::kCenteredText, {argInt(371, 1)});
       }},
      {"a table handle of an earlier step", st(status::kBadHandle),
       [&](OutputDriver& o) {
         void* t = table(o);
         o.manager = o.newManager();
         return OutputDriver::call(t, op::kEndColumns);
       }},
  };
  for (const Case& c : cases) {
    OutputDriver o;
    EXPECT_EQ(c.request(o), c.status) << c.what;
    const auto& log = host::output::requestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().status, c.status) << c.what;
  }
}

TEST(OutputProtocol, RequestLogDecodesEveryArgument) {
  OutputDriver o;
  void* t = o.create("data", "ANOVA", {argString(key::kLabel2, o.str("Variance"))});
  double d = 0;
  o.column(t, 5, "SS", &d, {argInt(272, 12)});
  const auto& log = host::output::requestLog();
  ASSERT_EQ(log.size(), 3u);  // the manager, the table, the column
  EXPECT_EQ(log[0].target, "root");
  EXPECT_EQ(log[0].op, op::kCreate);
  const host::output::LoggedRequest& create = log[1];
  EXPECT_EQ(create.target, "manager");
  EXPECT_EQ(create.status, 0);
  EXPECT_EQ(create.arg(key::kSystem)->value, "oxs");
  EXPECT_EQ(create.arg(key::kKind)->value, "data");
  EXPECT_EQ(create.arg(key::kMinusOne)->value, "-1");
  EXPECT_EQ(create.arg(key::kName)->value, "ANOVA");
  EXPECT_EQ(create.arg(key::kHandle)->value.rfind("out #", 0), 0u);
  const host::output::LoggedRequest& column = log[2];
  EXPECT_EQ(column.target, "table ANOVA");
  EXPECT_EQ(column.arg(272)->value, "12");
  EXPECT_EQ(column.arg(key::kValue)->value, "bound");
  EXPECT_EQ(column.args.back().key, key::kValue);
  host::output::clearRequestLog();
  EXPECT_TRUE(host::output::requestLog().empty());
  // A new step starts a new log.
  OutputDriver::call(t, op::kEndColumns);
  o.manager = o.newManager();
  ASSERT_EQ(host::output::requestLog().size(), 1u);
  EXPECT_EQ(host::output::requestLog()[0].step, 2);
}

TEST(OutputProtocol, AnInjectedStatusAnswersOneRequest) {
  OutputDriver o;
  const uint32_t tolerated = 0x80000000u | (63u << 11) | 53u;
  ASSERT_TRUE(isToleratedStatus(tolerated));
  host::output::failNextRequest(op::kCreate, st(tolerated));
  void* h = nullptr;
  EXPECT_EQ(OutputDriver::call(o.manager, op::kCreate,
                               {argBytes(key::kSystem, "oxs"), argBytes(key::kKind, "data"),
                                argOutHandle(key::kHandle, &h), argString(key::kName, o.str("A"))}),
            st(tolerated));
  EXPECT_EQ(h, nullptr);
  EXPECT_NE(o.create("data", "B"), nullptr);
}

// The graphs close a group through the first entry of its handler table, not by number.
TEST(OutputProtocol, TheFirstEntryOfAGroupOrFactoidReleasesIt) {
  OutputDriver o;
  for (void* object : {o.openGroup("G", "G"), o.create("factoid", "F")}) {
    auto* h = static_cast<HostObject*>(object);
    const HandlerEntry* first = h->table->buckets[0];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, op::kCloseHandle);
    EXPECT_EQ(first->routine(h, first->argument, first->data, 0, nullptr), 0);
    EXPECT_LT(OutputDriver::call(object, op::kCloseHandle), 0);  // released already
  }
}

// A refused request ends the step with 120; the tolerated status lets it go on.
TEST(OutputProtocol, ARefusedRequestEndsTheStepWith120) {
  OutputDriver o;
  std::filesystem::path library = host::session().options.library;
  host::session().options.library = VSF_SHARED_DATA;
  const std::string stepText = "proc varsifter data=mtcars; model mpg = wt;";
  host::output::failNextRequest(op::kQuery, st(status::kBadArgument));
  EXPECT_EQ(host::runStep(stepText, 1), step::kOutputRefused);
  host::output::failNextRequest(op::kQuery, st(0x80000000u | (63u << 11) | 53u));
  EXPECT_LT(host::runStep(stepText, 1), step::kOutputRefused);
  host::session().options.library = library;
  const auto& log = host::output::requestLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].target, "root");
  EXPECT_EQ(log[1].op, op::kQuery);
}

}  // namespace
}  // namespace vsf::test
