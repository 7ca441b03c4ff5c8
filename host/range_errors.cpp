#include "host/range_errors.h"

#include <fmt/format.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "host/session.h"

namespace vsf::host {

namespace {

constexpr int kSet = 848;
constexpr int kBetween = 6340, kAtLeast = 6341, kTooLarge = 6342;

std::string catalogueText(int number, std::initializer_list<std::string> parts) {
  std::vector<MsgArg> args;
  for (const std::string& p : parts) args.push_back(MsgArg(std::string_view(p)));
  const CatalogueEntry* e = findMessage(kSet, number);
  return e ? formatMessage(e->text, args.data(), static_cast<int>(args.size())) : "";
}

std::string bound(double v) { return fmt::format("{}", v); }

}  // namespace

std::string outOfRange(std::string_view option, std::string_view value, double low, double high) {
  if (std::isinf(high))
    return catalogueText(kAtLeast, {std::string(option), std::string(value), bound(low)});
  return catalogueText(kBetween,
                       {std::string(option), std::string(value), bound(low), bound(high)});
}

std::string integerTooLarge(std::string_view option, std::string_view value) {
  return catalogueText(kTooLarge, {std::string(option), std::string(value), bound(-kLargestInteger),
                                   bound(kLargestInteger)});
}

}  // namespace vsf::host
