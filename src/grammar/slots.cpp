// The named fields of the statement records, as one table.
#include "grammar/slots.h"

#include <cstring>
#include <iterator>

namespace vsf {

namespace {

#define VSF_SLOT_ROW(name, number) {kRecord, #name, 's', number},
#define VSF_FLAG_ROW(name, number) {kRecord, #name, 'f', number},

// Each record's rows carry its name through kRecord, redefined before each record.
const RecordField kFields[] = {
#define kRecord "proc"
    VSF_PROC_SLOTS(VSF_SLOT_ROW) VSF_PROC_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "model"
        VSF_MODEL_SLOTS(VSF_SLOT_ROW) VSF_MODEL_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "effect"
            VSF_EFFECT_SLOTS(VSF_SLOT_ROW) VSF_EFFECT_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "partition"
                VSF_PARTITION_SLOTS(VSF_SLOT_ROW) VSF_PARTITION_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "output"
                    VSF_OUTPUT_SLOTS(VSF_SLOT_ROW) VSF_OUTPUT_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "score"
                        VSF_SCORE_SLOTS(VSF_SLOT_ROW) VSF_SCORE_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "perf"
                            VSF_PERF_SLOTS(VSF_SLOT_ROW) VSF_PERF_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "ma"
                                VSF_MA_SLOTS(VSF_SLOT_ROW) VSF_MA_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "code"
                                    VSF_CODE_SLOTS(VSF_SLOT_ROW) VSF_CODE_FLAGS(VSF_FLAG_ROW)
#undef kRecord
#define kRecord "store"
                                        VSF_STORE_SLOTS(VSF_SLOT_ROW) VSF_STORE_FLAGS(VSF_FLAG_ROW)
#undef kRecord
};
#undef VSF_FLAG_ROW
#undef VSF_SLOT_ROW

struct RecordCount {
  const char* record;
  int slots;
};
#define VSF_COUNT_ROW(ns, SLOTS, FLAGS, count) {#ns, count},
const RecordCount kCounts[] = {VSF_RECORDS(VSF_COUNT_ROW)};
#undef VSF_COUNT_ROW

}  // namespace

const RecordField* recordFields(int* count) {
  *count = static_cast<int>(std::size(kFields));
  return kFields;
}

int recordSlotCount(const char* record) {
  for (const RecordCount& c : kCounts)
    if (std::strcmp(c.record, record) == 0) return c.slots;
  return 0;
}

}  // namespace vsf
