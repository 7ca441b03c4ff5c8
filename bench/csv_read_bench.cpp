// Reading a CSV data set through the host: the first pass (open, which parses the text into
// the step's binary copy, then every value of every observation by getNum) and later passes
// (bound reads from the copy). Also writes the generated CSV file the benchmark reads.
//   csv_read_bench generate FILE ROWS COLUMNS
//   csv_read_bench read FILE [THREADS]
//   csv_read_bench open FILE [THREADS]    the first step alone: the check of the text
#include <fmt/format.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "frame/host/dataset.h"
#include "host/data/data.h"
#include "host/session.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// Numbers of up to four decimals in [-1000, 1000), about 9 characters each.
int generate(const char* file, long rows, int columns) {
  FILE* f = std::fopen(file, "wb");
  if (!f) return 1;
  std::string line;
  for (int j = 0; j < columns; ++j) line += fmt::format("{}x{}", j ? "," : "", j + 1);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), f);
  std::mt19937_64 gen(12345);
  std::uniform_int_distribution<long> draw(-10000000, 9999999);
  char buf[32];
  for (long i = 0; i < rows; ++i) {
    line.clear();
    for (int j = 0; j < columns; ++j) {
      if (j) line += ',';
      double v = static_cast<double>(draw(gen)) / 10000.0;
      line.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

int read(const char* file, int threads, bool openOnly) {
  using namespace vsf;
  host::Session& s = host::session();
  s.options.threads = threads != 1;
  s.options.cpuCount = threads;
  std::filesystem::path path = std::filesystem::absolute(file);
  const HostDsFamily& ds = *host::hostVector()->ds;

  auto t0 = Clock::now();
  HostDataSet* d = ds.open("'" + path.string() + "'", kDsInput, nullptr);
  if (!d) return 1;
  double openSeconds = since(t0);
  if (openOnly) {
    host::closeStepDataSets();
    fmt::print("open (parse into the binary copy) {:.3f} s\n", openSeconds);
    return 0;
  }
  int32_t vars = 0;
  int64_t obs = 0;
  ds.attr(d, dsattr::kVarCount, &vars);
  ds.attr(d, dsattr::kObsCount, &obs);

  auto t1 = Clock::now();
  double sum1 = 0;
  ds.mode(d, 'F');
  ds.start(d);
  while (ds.readNext(d) == 1)
    for (int j = 0; j < vars; ++j) sum1 += ds.getNum(d, j);
  double firstRead = since(t1);

  std::vector<double> row(static_cast<size_t>(vars));
  HostBindList* list = ds.bindBegin(d, vars);
  for (int j = 0; j < vars; ++j) ds.bindVar(list, j, &row[static_cast<size_t>(j)], 8, kBindNumeric);
  ds.bindEnd(list);
  auto t2 = Clock::now();
  double sum2 = 0;
  ds.start(d);
  while (ds.readNext(d) == 1)
    for (double v : row) sum2 += v;
  double laterRead = since(t2);
  host::closeStepDataSets();

  double first = openSeconds + firstRead;
  fmt::print("rows {} columns {} threads {}\n", obs, vars, threads);
  fmt::print("open (parse into the binary copy) {:.3f} s\n", openSeconds);
  fmt::print("first pass (open + getNum pass)   {:.3f} s  {:.0f} rows/s\n", first, obs / first);
  fmt::print("later pass (bound reads)          {:.3f} s  {:.0f} rows/s\n", laterRead,
             obs / laterRead);
  fmt::print("checksums {:.6f} {:.6f}\n", sum1, sum2);
  return sum1 == sum2 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string what = argc > 1 ? argv[1] : "";
  if (what == "generate" && argc == 5)
    return generate(argv[2], std::atol(argv[3]), std::atoi(argv[4]));
  if ((what == "read" || what == "open") && argc >= 3)
    return read(argv[2], argc > 3 ? std::atoi(argv[3]) : 0, what == "open");
  std::fprintf(stderr,
               "usage: csv_read_bench generate FILE ROWS COLUMNS | read|open FILE [THREADS]\n");
  return 2;
}
