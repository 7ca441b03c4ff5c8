// Test support for the data pass: steps run on the CSV files of tests/data/datapass through our
// host, an inspection of each BY group's live state right after its data pass, and the stored
// rows read back from the utility files by a reader of the tests' own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/csv.h"
#include "common/statements_support.h"

namespace vsf::test {

// Host settings of a run.
struct PassSettings {
  std::string library = VSF_TEST_DATA "/datapass";
  int64_t memSizeMb = 0;  // 0: the machine's
  std::string utilPath;   // empty: the system's temporary directory
};

// Runs the step text on the real host. `inspect` sees each BY group's state once its rows are
// stored (before the fit); it may run passes over them.
StepRun runOnData(const std::string& text, const std::function<void(VsfState&)>& inspect,
                  const PassSettings& settings = PassSettings());

// One stored row: its doubles and tags, the design values expanded to effect order.
struct StoredRow {
  double w = 1, f = 1, resample = 0, y = 0;
  std::vector<double> x;  // per column in effect order (sparse columns filled with zeros)
  int32_t fold = 0, held = 0, role = 1;
  bool hasFold = false, hasRole = false;
  std::vector<int32_t> sparseIndexes;  // of every sparse effect, in stored order
  std::vector<int32_t> sparseEnds;
};
// Every row of the group, block k = 0, 1, ... (file k mod n, local block k div n).
std::vector<StoredRow> readStoredRows(const VsfState& state);
// The blocks' row counts in block order.
std::vector<int64_t> blockRowCounts(const VsfState& state);
// Whether each block is marked finite, in block order.
std::vector<bool> blockFiniteMarks(const VsfState& state);

// The weighted crossproducts of the training rows by kernSscp (one data pass), response first,
// columns in effect order, as a full square matrix; the selection state is left as it was.
std::vector<std::vector<double>> crossproductsByKernel(VsfState& state);

}  // namespace vsf::test
