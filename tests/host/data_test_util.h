// Support for the data-set tests: a library and a UTILPATH directory per test, CSV files
// written on the fly, and the step end the host raises on bad input.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/strings.h"
#include "common/test_host.h"
#include "frame/host/dataset.h"
#include "host/data/csv_import.h"
#include "host/data/data.h"
#include "host/data/dataset_internal.h"
#include "host/session.h"

namespace vsf::test {

namespace fs = std::filesystem;

class DataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureHost();
    static int counter = 0;
    lib = fs::temp_directory_path() /
          ("vsf_data_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    util = lib / "util";
    fs::create_directories(util);
    host::session().options.library = lib;
    host::session().options.utilPath = util;
    host::session().lastDataSet.clear();
  }
  void TearDown() override {
    host::closeStepDataSets();
    host::session().options.utilPath.clear();
    host::session().options.library = ".";
    fs::remove_all(lib);
  }

  const HostDsFamily& ds() const { return *host::hostVector()->ds; }

  void write(const std::string& file, const std::string& text) const {
    std::ofstream(lib / file, std::ios::binary) << text;
  }

  HostDataSet* open(const std::string& name) const {
    uint32_t status = 1;
    HostDataSet* d = ds().open(name, kDsInput, &status);
    EXPECT_NE(d, nullptr) << name;
    EXPECT_EQ(status, 0u);
    return d;
  }

  // Opens a CSV text imported in pieces of `pieceBytes` on `threads` threads and read again in
  // blocks of about `blockBytes`, so that small data cross many pieces and blocks.
  HostDataSet* openInPieces(const std::string& text, size_t pieceBytes, int threads = 3,
                            size_t blockBytes = 1 << 20, size_t countSlice = 1 << 18,
                            size_t pieceStates = size_t{32} << 20) const {
    static int n = 0;
    fs::path p = lib / ("pieces" + std::to_string(n++) + ".csv");
    std::ofstream(p, std::ios::binary) << text;
    host::ImportSettings s;
    s.utilDirectory = util;
    s.threads = threads;
    s.pieceBytes = pieceBytes;
    s.blockBytes = blockBytes;
    s.smallestPiece = 1;
    s.countSlice = countSlice;
    s.pieceStates = pieceStates;
    std::string error;
    std::shared_ptr<host::Table> t(host::importCsv(p, s, &error).release());
    EXPECT_TRUE(t) << error;
    if (!t) return nullptr;
    t->name = "WORK.PIECES";
    auto* in = new host::InputDataSet(t);
    in->name = t->name;
    in->cursor.readAhead(2);  // as the reader the procedure opens
    host::registerDataSet(in);
    return in;
  }

  // The last error the host issued.
  static std::string lastError() {
    const auto& lines = host::session().log.lines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
      if (it->level == "ERROR") return it->text;
    return "";
  }

  // Runs f, which must end the step with code 1012; returns the error issued.
  template <typename F>
  static std::string stepEndError(F f) {
    if (endsStep(f, 1012)) return lastError();
    ADD_FAILURE() << "the step did not end";
    return "";
  }

  // Every value of the data set, row by row, as text: numbers in the best format, missing
  // values as "." or ".A", characters as they stand.
  std::vector<std::vector<std::string>> rows(HostDataSet* d) const {
    std::vector<std::vector<std::string>> out;
    int32_t vars = 0;
    ds().attr(d, dsattr::kVarCount, &vars);
    ds().mode(d, 'F');
    ds().start(d);
    while (ds().readNext(d) == 1) {
      std::vector<std::string> row;
      for (int j = 0; j < vars; ++j) row.push_back(value(d, j));
      out.push_back(row);
    }
    return out;
  }

  // One value of the current observation as text (numbers as the shortest round trip).
  std::string value(HostDataSet* d, int j) const {
    VarDescriptor v;
    ds().varByNumber(d, j, &v);
    if (v.type == kVarCharacter) return std::string(ds().getChar(d, j));
    double x = ds().getNum(d, j);
    if (char code = missingCode(x)) return code == '.' ? "." : std::string(".") + code;
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
  }

  // Names of the regular files in a directory.
  static std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) out.push_back(e.path().filename().string());
    return out;
  }

  fs::path lib, util;
};

}  // namespace vsf::test
