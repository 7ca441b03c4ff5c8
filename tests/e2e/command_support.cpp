#include "e2e/command_support.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "common/csv.h"

namespace vsf::test {

namespace fs = std::filesystem;

namespace {

// Temporary and source paths in a run's key stand as placeholders, so that the same program of
// two builds, in two checkouts, has one key.
std::string withoutPaths(std::string text) {
  const std::pair<std::string, std::string> roots[] = {
      {fs::temp_directory_path().string(), "<TMP>"}, {VSF_SOURCE_DIR, "<SRC>"}};
  for (const auto& [root, mark] : roots) {
    for (size_t at = text.find(root); at != std::string::npos; at = text.find(root, at)) {
      size_t end = at + root.size();
      // The scratch directory or file name right below the temporary directory varies by run.
      if (mark == "<TMP>" && end < text.size() && text[end] == '/') {
        end = text.find_first_of("/ \t\n\"'", end + 1);
        if (end == std::string::npos) end = text.size();
      }
      text.replace(at, end - at, mark);
    }
  }
  return text;
}

// Options name scratch files by their full paths, which hold whatever the checkout's path holds:
// each path below the temporary or source directory, up to the next blank, becomes one word.
// The options text itself stays as written, the run's key made from it too.
std::string withPathsQuoted(const std::string& options) {
  const std::string roots[] = {fs::temp_directory_path().string(), VSF_SOURCE_DIR};
  std::string out;
  for (size_t at = 0; at < options.size();) {
    const auto root = std::find_if(std::begin(roots), std::end(roots), [&](const std::string& r) {
      return options.compare(at, r.size(), r) == 0;
    });
    if (root == std::end(roots)) {
      out += options[at++];
      continue;
    }
    const size_t end = std::min(options.find_first_of(" \t\n", at + root->size()), options.size());
    out += shellQuoted(std::string_view(options).substr(at, end - at));
    at = end;
  }
  return out;
}

// FNV-1a of a file's bytes: enough to tell two builds' output files apart.
uint64_t fileHash(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  uint64_t h = 1469598103934665603ULL;
  for (char c; in.get(c);) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return h;
}

// With VSF_E2E_KEEP set to a directory, each run's output, JSON document and the hashes of the
// CSV files of its library are kept there under a name made from its program and options, so
// that two builds' runs can be compared (tools/same-outputs.sh).
void keepRun(const std::string& key, const std::string& output, const fs::path& json,
             const std::string& library) {
  const char* dir = std::getenv("VSF_E2E_KEEP");
  if (!dir || !*dir) return;
  static std::map<std::string, int> seen;  // one program run twice keeps both runs
  const std::string plain = withoutPaths(key);
  const std::string name =
      fmt::format("{:016x}_{}", std::hash<std::string>{}(plain), seen[plain]++);
  fs::create_directories(dir);
  std::ofstream(fs::path(dir) / (name + ".out")) << output;
  std::error_code ec;
  fs::copy_file(json, fs::path(dir) / (name + ".json"), fs::copy_options::overwrite_existing, ec);
  std::map<std::string, uint64_t> files;
  for (const auto& entry : fs::directory_iterator(library, ec))
    // Only regular files: a FIFO a test made would wait for a writer for ever.
    if (entry.path().extension() == ".csv" && entry.is_regular_file(ec))
      files[entry.path().filename()] = fileHash(entry);
  std::ofstream list(fs::path(dir) / (name + ".files"));
  for (const auto& [file, hash] : files)
    list << file << " " << fmt::format("{:016x}", hash) << "\n";
}

// The one rule of return codes, checked on every run: a step that wrote a warning (and no
// error) ended with code 4, and a step that ended with 4 wrote a warning.
void checkReturnCodes(const std::string& program, const Json& document) {
  if (!document.is_object() || !document.contains("log")) return;
  std::map<int, bool> warned;
  for (const Json& line : document["log"]) {
    const int step = line.value("step", 0);
    const std::string text = line.value("text", "");
    if (step == 0) continue;
    if (line.value("level", "") == "WARNING") warned[step] = true;
    constexpr std::string_view kEnded = "step ended with return code ";
    const size_t at = text.find(kEnded);
    if (at == std::string::npos) continue;
    const int code = std::atoi(text.c_str() + at + kEnded.size());
    if (code >= 100) continue;
    EXPECT_EQ(code, warned[step] ? 4 : 0) << "step " << step << ": " << text << "\n" << program;
  }
}

}  // namespace

std::string shellQuoted(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    // A quote ends the quoted text, stands escaped, and the quoting starts again.
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

CommandRun runArgs(const std::string& args, bool withErrors) {
  return runShell(shellQuoted(VSF_BINARY) + " " + args + (withErrors ? " 2>&1" : ""));
}

CommandRun runShell(const std::string& cmd) {
  CommandRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  const int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

CommandRun runCommand(const std::string& program, const std::string& library,
                      const std::string& options) {
  static int serial = 0;
  const std::string stem = "vsf_e2e_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
  const fs::path source = fs::temp_directory_path() / (stem + ".vsf");
  const fs::path json = fs::temp_directory_path() / (stem + ".json");
  const fs::path html = fs::temp_directory_path() / (stem + ".html");
  std::ofstream(source) << program;
  CommandRun r = runArgs(shellQuoted(source.string()) + " --lib " + shellQuoted(library) +
                         " --json " + shellQuoted(json.string()) + " --html " +
                         shellQuoted(html.string()) + " " + withPathsQuoted(options));
  if (std::ifstream in(json); in) r.document = Json::parse(in, nullptr, false);
  checkReturnCodes(program, r.document);
  if (std::ifstream in(html); in) r.html.assign(std::istreambuf_iterator<char>(in), {});
  keepRun(program + "\n" + options, r.output, json, library);
  for (const fs::path& p : {source, json, html}) fs::remove(p);
  return r;
}

DataLibrary::DataLibrary(const std::vector<std::string>& dataSets) : ScratchDir("vsf_e2e_lib") {
  for (const std::string& name : dataSets)
    fs::copy_file(fs::path(VSF_SHARED_DATA) / (name + ".csv"), path() / (name + ".csv"));
}

std::string DataLibrary::text(const std::string& file) const {
  std::ifstream in(path() / file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<double> DataLibrary::column(const std::string& dataSet,
                                        const std::string& variable) const {
  const fs::path file = path() / (dataSet + ".csv");
  if (!fs::exists(file)) return {};
  const Csv csv = readCsv(file.string());
  const int c = csv.column(variable);
  std::vector<double> values;
  for (size_t r = 0; c >= 0 && r < csv.rows.size(); ++r)
    values.push_back(csv.number(r, static_cast<size_t>(c)));
  return values;
}

std::vector<std::string> DataLibrary::variables(const std::string& dataSet) const {
  std::ifstream in(path() / (dataSet + ".csv"));
  std::string line;
  std::getline(in, line);
  return line.empty() ? std::vector<std::string>{} : splitCsvLine(line);
}

void expectRuns(const std::string& library, const std::vector<ExpectedRun>& runs) {
  for (const ExpectedRun& c : runs) {
    SCOPED_TRACE(c.program);
    const CommandRun r = runCommand(c.program, library, c.options);
    EXPECT_EQ(r.status, c.status) << r.output;
    for (const std::string& text : c.said)
      EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    for (const std::string& text : c.unsaid)
      EXPECT_EQ(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    if (c.status != 0) {
      EXPECT_NE(r.output.find("ERROR:"), std::string::npos) << r.output;
    }
  }
}

namespace {

void collect(const Json& items, const std::string& name, std::vector<Json>* out) {
  if (!items.is_array()) return;
  for (const Json& item : items) {
    const bool group = item.value("type", "") == "group";
    if (!group && item.value("name", "") == name) out->push_back(item);
    if (group) collect(item["items"], name, out);
  }
}

}  // namespace

std::vector<Json> findAll(const Json& document, const std::string& name) {
  std::vector<Json> all;
  if (document.is_object() && document.contains("output")) collect(document["output"], name, &all);
  return all;
}

Json theOne(const CommandRun& r, const std::string& name) {
  std::vector<Json> all = findAll(r.document, name);
  EXPECT_EQ(all.size(), 1u) << name << "\n" << r.output;
  return all.size() == 1 ? all.front() : Json();
}

Json entryValue(const Json& factoid, const std::string& label) {
  if (!factoid.is_object() || !factoid.contains("entries")) return Json();
  for (const Json& e : factoid["entries"])
    if (e.value("label", "") == label) return e["value"];
  return Json();
}

std::string macro(const CommandRun& r, const std::string& name) {
  if (!r.document.is_object() || !r.document.contains("macros")) return "";
  return r.document["macros"].value(name, "");
}

double number(const Json& cell) { return cell.is_number() ? cell.get<double>() : NAN; }

int spawnCommand(std::vector<std::string> args, const std::string& errorLog, int output) {
  args.insert(args.begin(), VSF_BINARY);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t io;
  posix_spawn_file_actions_init(&io);
  if (output >= 0)
    posix_spawn_file_actions_adddup2(&io, output, 1);
  else
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&io, 2, errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (posix_spawn(&pid, VSF_BINARY, &io, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&io);
  return pid;
}

}  // namespace vsf::test
