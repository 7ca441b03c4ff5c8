// The crossproducts provider's record: the post-fit statements' crossproducts of a BY group.
// Levelization sets its reader fields for each group; the selection engine serves its
// operations (zsscpset, sscpItem).
#pragma once

#include <cstdint>

namespace vsf {

struct HostPool;
struct ZDesign;
struct ZLevCtx;

struct SscpProvider;

// One item of the provider's cache.
struct SscpCacheItem {
  int32_t code = 0;  // 0 accumulated, 1 swept, 2 estimates block, 12 sweep record
  void* item = nullptr;
  SscpCacheItem* next = nullptr;
};

// The sweep record kept beside the swept matrix: per pivot its swept column (or the entries
// of a pivot left unswept), a mark per swept pivot and the relative tolerance.
struct SscpSweepRecord {
  const ZDesign* design = nullptr;
  double* columns = nullptr;  // rows of `stride` values
  int32_t stride = 0;
  int32_t* marks = nullptr;
  double tolerance = 1e-8;
};

struct SscpHypothesisRequest {
  int32_t m = 0;              // linear combinations
  const double* L = nullptr;  // m rows of p values
};

struct SscpHypothesisResult {
  double* crossproducts = nullptr;  // packed, order r (responses)
  int32_t rank = 0;
  int32_t estimateCount = 0;
  double* estimates = nullptr;
  double* variance = nullptr;  // packed, order r m
};

// The six operations, callable by the host with the provider as their context.
struct SscpEntries {
  SscpProvider* context = nullptr;
  double* (*accumulate)(SscpProvider* p) = nullptr;
  double* (*cholesky)(SscpProvider* p) = nullptr;
  double* (*estimatesBlock)(SscpProvider* p) = nullptr;
  double* (*errorTriangle)(SscpProvider* p) = nullptr;
  double* (*responseTriangle)(SscpProvider* p) = nullptr;
  SscpHypothesisResult* (*hypothesis)(SscpProvider* p, const SscpHypothesisRequest* request,
                                      int32_t response, const char* letters) = nullptr;
};

struct SscpProvider {
  HostPool* owner = nullptr;  // every result comes from its pool
  // The design: its columns, flags, effects (first columns) and, per effect, the current
  // observation's value and level offset (ZDesign::results).
  const ZDesign* design = nullptr;
  int32_t fullRowsWord = 0;  // nonzero: full design rows whatever the flags say
  ZLevCtx* rowContext = nullptr;
  const double* rowValues = nullptr;
  const int32_t* rowLevels = nullptr;
  int32_t observations = 0;
  SscpCacheItem* cache = nullptr;
  double* responses = nullptr;  // q values of the current observation
  int32_t q = 0;
  const int32_t* columnMap = nullptr;  // per design column its position, negative: dropped
  int32_t p = 0;
  double readerValues[2] = {0, 0};
  double weightFloor = 0;
  uint32_t flags = 0;  // 1: sweep in place of the accumulated matrix; 2: tolerance floor
  double toleranceFloor = 0;
  // Readers supplied by the context's owner.
  void* readerContext = nullptr;
  void (*start)(SscpProvider* p) = nullptr;
  int (*next)(SscpProvider* p) = nullptr;
  int (*weight)(SscpProvider* p, double* w) = nullptr;
  int (*response)(SscpProvider* p, double* y) = nullptr;
  SscpEntries entries;
  // What levelization sets per BY group: the state word, one pointer per response, the
  // context and its two observation readers.
  void* state = nullptr;
  double** responsePointers = nullptr;
  int32_t responseCount = 0;
  ZLevCtx* context = nullptr;
  int (*obsUsable)(ZLevCtx* ctx, double* values) = nullptr;
  int (*obsUsableW)(ZLevCtx* ctx, double* weight) = nullptr;
};

}  // namespace vsf
