// Variable lists over a data set's variables: numbered ranges (x1-x10), positional ranges
// (a--b, a-NUMERIC-b, a-CHARACTER-b), prefixes (a:) and the special lists.
#include <fmt/format.h>

#include <cctype>

#include "frame/host/values.h"
#include "host/data/data.h"
#include "host/data/dataset_internal.h"

namespace vsf::host {

namespace {

struct Numbered {
  std::string prefix;
  long long number = -1;
  size_t digits = 0;
};

// "x01" -> {"x", 1, 2}; number -1 when the name does not end in digits.
Numbered splitNumbered(std::string_view name) {
  size_t d = name.size();
  while (d > 0 && std::isdigit(static_cast<unsigned char>(name[d - 1]))) --d;
  Numbered n{std::string(name.substr(0, d)), -1, name.size() - d};
  if (n.digits == 0 || n.digits > 15 || d == 0) return n;
  n.number = std::stoll(std::string(name.substr(d)));
  return n;
}

int fail(uint32_t status, const std::string& text) {
  issueError(text);
  return static_cast<int>(status);
}

int numberedRange(const InputDataSet* in, std::string_view first, std::string_view second,
                  std::vector<int>* out) {
  Numbered a = splitNumbered(first), b = splitNumbered(second);
  std::string list = fmt::format("{}-{}", first, second);
  if (a.number < 0 || b.number < 0 || !equalsNoCase(a.prefix, b.prefix))
    return fail(dsstatus::kBadList,
                fmt::format("{} is not a numbered range: both names must be one prefix "
                            "followed by a number.",
                            list));
  if (a.number > b.number)
    return fail(
        dsstatus::kBadList,
        fmt::format("The numbered range {} is reversed: its first number is larger.", list));
  // "x01-x10" names x01, x02, ...: a leading zero keeps the first name's width.
  size_t width = a.digits > 1 && first[first.size() - a.digits] == '0' ? a.digits : 0;
  for (long long k = a.number; k <= b.number; ++k) {
    std::string name =
        width ? fmt::format("{}{:0{}}", a.prefix, k, width) : fmt::format("{}{}", a.prefix, k);
    int j = findVariable(*in->table, name);
    if (j < 0)
      return fail(hs::kVarNotFound, fmt::format("Variable {} of the list {} is not on data set "
                                                "{}.",
                                                name, list, in->name));
    out->push_back(j);
  }
  return 0;
}

int positionalRange(const InputDataSet* in, std::string_view first, std::string_view second,
                    int type, std::string_view joint, std::vector<int>* out) {
  std::string list = fmt::format("{}{}{}", first, joint, second);
  int i = findVariable(*in->table, first), j = findVariable(*in->table, second);
  if (i < 0 || j < 0)
    return fail(hs::kVarNotFound, fmt::format("Variable {} of the list {} is not on data set {}.",
                                              i < 0 ? first : second, list, in->name));
  if (i > j)
    return fail(dsstatus::kBadList,
                fmt::format("The list {} is reversed: {} comes after {} on data set {}.", list,
                            first, second, in->name));
  for (int k = i; k <= j; ++k)
    if (type == 0 || in->table->vars[static_cast<size_t>(k)].type == type) out->push_back(k);
  return 0;
}

int prefixList(const InputDataSet* in, std::string_view prefix, std::vector<int>* out) {
  if (!prefix.empty() && prefix.back() == ':') prefix.remove_suffix(1);
  for (size_t k = 0; k < in->table->vars.size(); ++k) {
    std::string_view name = in->table->vars[k].name;
    if (name.size() >= prefix.size() && equalsNoCase(name.substr(0, prefix.size()), prefix))
      out->push_back(static_cast<int>(k));
  }
  if (out->empty())
    return fail(dsstatus::kBadList,
                fmt::format("No variable of data set {} begins with {}.", in->name, prefix));
  return 0;
}

// The variables of a list of the given form, in order; 0 or the status after the error.
int expandListOf(const InputDataSet* in, std::string_view first, std::string_view second, int form,
                 std::vector<int>* numbers) {
  numbers->clear();
  first = trimRight(first);
  second = trimRight(second);
  switch (form) {
    case 2:
      return numberedRange(in, first, second, numbers);
    case 3:
      return positionalRange(in, first, second, 0, "--", numbers);
    case 4:
      return positionalRange(in, first, second, kVarNumeric, "-NUMERIC-", numbers);
    case 5:
      return positionalRange(in, first, second, kVarCharacter, "-CHARACTER-", numbers);
    case 6:
      return prefixList(in, first, numbers);
    case 7:
    case 8:
    case 9:
      for (size_t k = 0; k < in->table->vars.size(); ++k) {
        int type = in->table->vars[k].type;
        if (form == 9 || (form == 7) == (type == kVarNumeric))
          numbers->push_back(static_cast<int>(k));
      }
      return 0;
    default:
      return fail(dsstatus::kBadList, fmt::format("Variable-list form {} is unknown.", form));
  }
}

}  // namespace

int expandList(HostDataSet* ds, std::string_view first, std::string_view second, int form,
               std::vector<int>* numbers) {
  InputDataSet* in = asInput(ds);
  if (!in || !numbers) return -1;
  const int rc = expandListOf(in, first, second, form, numbers);
  // The variables a list names are used.
  if (rc == 0)
    for (int j : *numbers) noteInexactDigits(ds, j);
  return rc;
}

}  // namespace vsf::host
