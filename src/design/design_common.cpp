// Allocation, coded level names, level texts and the host's name rules for the design sources.
#include <cmath>
#include <cstring>

#include "base/host.h"
#include "base/strings.h"
#include "design/design_internal.h"
#include "frame/host/dataset.h"

namespace vsf {

void* designAlloc(HostPool* pool, size_t bytes, uint32_t flags) {
  if (!pool) return nullptr;
  return kernel().poolAlloc(pool, bytes ? bytes : 1, flags);
}

char* designText(HostPool* pool, std::string_view text, uint32_t flags) {
  char* p = static_cast<char*>(designAlloc(pool, text.size() + 1, flags));
  if (!p) return nullptr;
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  p[text.size()] = '\0';
  return p;
}

HostPool* contextPool(const ZLevCtx* ctx) {
  if (ctx->alloc && ctx->alloc->allocator) return ctx->alloc->allocator;
  return ctx->design ? ctx->design->allocator : nullptr;
}

// Same count as log10(k + 0.5) + 1 truncated, without the floating point.
int digitCount(int k) {
  int n = 1;
  for (long long p = 10; p <= k; p *= 10) ++n;
  return n;
}

std::string codedLevelName(CodingCode coding, int k) {
  const char* prefix = codingOf(coding).prefix;
  return prefix ? prefix + std::to_string(k) : std::string();
}

int codedNameWidth(const LevelVar& var) {
  const char* prefix = codingOf(var.coding).prefix;
  if (!prefix) return 0;
  return static_cast<int>(std::strlen(prefix)) +
         digitCount(var.levelCount > 0 ? var.levelCount : 1);
}

std::string_view levelText(const LevelVar& var, int level) {
  if (!var.levelTexts || level < 0 || level >= var.levelCount || !var.levelTexts[level]) return {};
  const char* t = var.levelTexts[level];
  int width = var.formattedWidth > 0 ? var.formattedWidth : static_cast<int>(std::strlen(t));
  // A text may be shorter than the width when it is terminated early.
  int n = static_cast<int>(strnlen(t, static_cast<size_t>(width)));
  return std::string_view(t, static_cast<size_t>(ztrimlen(t, n)));
}

std::string_view varName(const LevelVar* var) {
  return var && var->desc ? std::string_view(var->desc->name) : std::string_view();
}

std::string_view varLabel(const LevelVar* var) {
  return var && var->desc ? std::string_view(var->desc->label) : std::string_view();
}

ValidNames validNames() {
  std::string value;
  if (!hostv().proc || !hostv().proc->optionText("VALIDVARNAME", &value)) return ValidNames::kV7;
  int n = ztrimlen(value.data(), static_cast<int>(value.size()));
  if (n == 2 && zcolcmp(value.data(), n, "V6", 2) == 0) return ValidNames::kV6;
  if (n == 3 && zcolcmp(value.data(), n, "ANY", 3) == 0) return ValidNames::kAny;
  return ValidNames::kV7;
}

std::string hostNameCase(std::string_view name, ValidNames mode) {
  std::string s(name);
  if (mode == ValidNames::kV6) zwcsupper(s);
  return s;
}

}  // namespace vsf
