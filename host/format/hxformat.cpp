// The hxformat extension: formats values of data-set variables as the host's bound reads
// deliver formatted values, so that levels formatted here match those read through a
// binding. Numbers take the best format of the variable's format width (12 without a
// format), left-aligned; characters stand as they are. Texts are cut or blank-padded to the
// field.
#include <algorithm>
#include <cstring>
#include <string>

#include "frame/host/dataset.h"
#include "frame/host/extensions.h"
#include "host/data/best_format.h"

namespace vsf::host {

namespace {

constexpr int kDefaultNumberWidth = 12;

int putField(std::string_view text, char* out, int width) {
  int n = std::min(static_cast<int>(text.size()), width);
  if (n > 0) std::memcpy(out, text.data(), static_cast<size_t>(n));
  if (width > n) std::memset(out + n, ' ', static_cast<size_t>(width - n));
  return n;
}

class NumberFormat final : public ValueFormat {
 public:
  explicit NumberFormat(int formatWidth) : formatWidth_(formatWidth) {}
  int format(double number, std::string_view, char* out, int width) override {
    return putField(formatBest(number, std::min(width, formatWidth_)), out, width);
  }
  void release() override { delete this; }

 private:
  int formatWidth_;
};

class TextFormat final : public ValueFormat {
 public:
  int format(double, std::string_view text, char* out, int width) override {
    return putField(text, out, width);
  }
  void release() override { delete this; }
};

class Formatter final : public ValueFormatter {
 public:
  void setLocale(int64_t encoding) override { encoding_ = encoding; }
  ValueFormat* find(const VarDescriptor& var, char kind) override {
    if (kind != 'F') return nullptr;
    if (var.type == kVarCharacter) return new TextFormat;
    bool own = !var.format.empty() && var.formatWidth > 0;
    return new NumberFormat(own ? var.formatWidth : kDefaultNumberWidth);
  }
  void release() override { delete this; }

 private:
  int64_t encoding_ = 0;
};

class Extension final : public HxFormat {
 public:
  std::string_view name() const override { return "hxformat"; }
  void release() override { delete this; }
  ValueFormatter* createFormatter() override { return new Formatter; }
};

}  // namespace

HostExtension* makeFormatter() { return new Extension; }

}  // namespace vsf::host
