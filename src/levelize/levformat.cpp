// The formatting session of threaded levelization: per worker the format handles and buffers
// that format the raw CLASS values of its rows, all from one pool.
#include "base/host.h"
#include "base/strings.h"
#include "frame/host/dataset.h"
#include "frame/host/extensions.h"
#include "levelize/levelize_internal.h"

namespace vsf {

namespace {

template <typename T>
T* poolArray(HostPool* pool, size_t n) {
  T* p = static_cast<T*>(kernel().poolAlloc(pool, sizeof(T) * (n == 0 ? 1 : n), kAllocZero));
  if (p)
    for (size_t i = 0; i < n; ++i) new (p + i) T();
  return p;
}

bool hasFormat(const VarDescriptor& v) { return !v.format.empty(); }

// Output width and raw length of one variable by the width option.
void widthsOf(const VarDescriptor& v, int option, int32_t* output, int32_t* raw) {
  *raw = v.length;
  if (option == -1)
    *output = hasFormat(v) ? v.formatWidth : (v.type == kVarCharacter ? v.length : 12);
  else if (option == -2)
    *output = v.formatWidth;
  else
    *output = option == 0 ? 16 : option;
}

// Fills the per-variable arrays (first worker) and the worker's handles; false on a failure.
bool findFormats(FormatSession* s, int worker, const int* numbers, int option) {
  FormatWorkerRecord& w = s->workers[worker];
  w.session = s;
  w.handles = poolArray<ValueFormat*>(s->pool, static_cast<size_t>(s->varCount));
  if (!w.handles) return false;
  for (int i = 0; i < s->varCount; ++i) {
    VarDescriptor desc;
    if (hostv().ds->varByNumber(s->dataSet, numbers[i], &desc) != 0) return false;
    if (worker == 0) {
      s->formatWidth[i] = desc.formatWidth;
      s->formatDecimals[i] = desc.formatDecimals;
      s->varNumber[i] = numbers[i];
      s->type[i] = desc.type == kVarCharacter ? 2 : 1;
      int32_t raw = 0;
      widthsOf(desc, option, &s->outputWidth[i], &raw);
      s->widestOutput = zimax(s->widestOutput, s->outputWidth[i]);
      s->widestRaw = zimax(s->widestRaw, raw);
    }
    w.handles[i] = s->formatter->find(desc, 'F');
    if (!w.handles[i]) return false;
  }
  return true;
}

bool workerBuffers(FormatSession* s, bool anyCharacter) {
  for (int k = 0; k < s->workerCount; ++k) {
    FormatWorkerRecord& w = s->workers[k];
    w.buffer = poolArray<char>(s->pool, static_cast<size_t>(s->widestOutput + s->widestRaw));
    w.wide = poolArray<char>(s->pool, 2 * static_cast<size_t>(s->widestOutput));
    if (anyCharacter)
      w.wideChar =
          poolArray<char>(s->pool, 2 * static_cast<size_t>(zimax(s->widestOutput, s->widestRaw)));
    if (!w.buffer || !w.wide || (anyCharacter && !w.wideChar)) return false;
    w.text = w.buffer + s->widestRaw;
  }
  return true;
}

int openSession(FormatSession* s, const int* numbers, int option) {
  const size_t n = static_cast<size_t>(s->varCount);
  s->workers = poolArray<FormatWorkerRecord>(s->pool, static_cast<size_t>(s->workerCount));
  s->type = poolArray<int32_t>(s->pool, n);
  s->outputWidth = poolArray<int32_t>(s->pool, n);
  s->formatWidth = poolArray<int32_t>(s->pool, n);
  s->formatDecimals = poolArray<int32_t>(s->pool, n);
  s->varNumber = poolArray<int32_t>(s->pool, n);
  if (!s->workers || !s->type || !s->outputWidth || !s->formatWidth || !s->formatDecimals ||
      !s->varNumber)
    return fmtstatus::kResource;
  if (kernel().nameValueGetInt("HXNLS.QPW_SESSION_CEI", &s->encoding) != 0)
    return fmtstatus::kEncoding;
  HostExtension* ext = kernel().extensionLoad("hxformat");
  s->extension = dynamic_cast<HxFormat*>(ext);
  if (!s->extension) {
    if (ext) ext->release();
    return fmtstatus::kResource;
  }
  s->formatter = s->extension->createFormatter();
  if (!s->formatter) return fmtstatus::kResource;
  s->formatter->setLocale(s->encoding);
  for (int k = 0; k < s->workerCount; ++k)
    if (!findFormats(s, k, numbers, option)) return fmtstatus::kResource;
  bool anyCharacter = false;
  for (size_t i = 0; i < n; ++i) anyCharacter = anyCharacter || s->type[i] == 2;
  return workerBuffers(s, anyCharacter) ? fmtstatus::kOk : fmtstatus::kResource;
}

}  // namespace

FormatSession* zfmtopen(HostDataSet* ds, const int* varNumbers, int varCount, int workerCount,
                        int* status, int widthOption) {
  if (!varNumbers || varCount < 1 || workerCount < 1) {
    *status = fmtstatus::kArguments;
    return nullptr;
  }
  HostPool* pool = kernel().poolCreate("Format pool", kPoolPlain);
  if (!pool) {
    *status = fmtstatus::kResource;
    return nullptr;
  }
  auto* s = poolArray<FormatSession>(pool, 1);
  if (!s) {
    kernel().poolDestroy(pool);
    *status = fmtstatus::kResource;
    return nullptr;
  }
  s->pool = pool;
  s->dataSet = ds;
  s->varCount = varCount;
  s->workerCount = workerCount;
  *status = openSession(s, varNumbers, widthOption);
  if (*status == fmtstatus::kOk) return s;
  zfmtclose(&s);
  return nullptr;
}

void zfmtclose(FormatSession** session) {
  FormatSession* s = session ? *session : nullptr;
  if (!s) return;
  for (int k = 0; s->workers && k < s->workerCount; ++k) {
    FormatWorkerRecord& w = s->workers[k];
    for (int i = 0; w.handles && i < s->varCount; ++i)
      if (w.handles[i]) w.handles[i]->release();
  }
  if (s->formatter) s->formatter->release();
  if (s->extension) s->extension->release();
  kernel().poolDestroy(s->pool);
  *session = nullptr;
}

}  // namespace vsf
