// The varsifter command: runs a program file of procedure steps over CSV data sets.
#include <malloc.h>
#include <pthread.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "frame/module.h"
#include "host/blas_core.h"
#include "host/data/data.h"
#include "host/interrupt.h"
#include "host/log_text.h"
#include "host/output/output.h"
#include "host/program.h"
#include "host/session.h"
#include "host/standard_streams.h"
#include "host/whole_file.h"
#include "numerics/numerics.h"

namespace {

// Lowers the stack size of the threads started from here on to `bytes`, where it is larger.
void smallerThreadStacks(size_t bytes) {
  pthread_attr_t attr;
  if (pthread_getattr_default_np(&attr) != 0) return;
  size_t now = 0;
  if (pthread_attr_getstacksize(&attr, &now) == 0 && now > bytes &&
      pthread_attr_setstacksize(&attr, bytes) == 0)
    pthread_setattr_default_np(&attr);
  pthread_attr_destroy(&attr);
}

// An error of the command itself, shown as every message is: valid UTF-8 whatever bytes its
// names hold.
void commandError(const std::string& text) {
  std::cerr << "ERROR: " << vsf::host::escapedBytes(text) << "\n";
}

int run(int argc, char** argv) {
  using vsf::host::session;
  CLI::App app{"varsifter: chooses a linear regression model from candidate effects"};
  std::string program, lib = ".", json, html, svg, utilpath, validvarname, debug;
  int cpucount = 0;
  int64_t memsize = 0;
  bool threads = false, nothreads = false, nographics = false;
  app.set_version_flag("--version", std::string("varsifter ") + VSF_VERSION);
  app.add_flag_callback(
      "--help-statements",
      [] {
        std::cout << vsf::host::statementSummary();
        throw CLI::Success();
      },
      "List the statements of a step (docs/language.md describes them)");
  app.add_option("program", program, "Program file of procedure steps (- reads standard input)")
      ->required();
  app.add_option("--lib", lib, "Library directory of the data sets (default: .)");
  // An empty name would be taken for no document at all: a usage error instead.
  auto named = [](const std::string& what) {
    return CLI::Validator(
        [what](const std::string& v) {
          return v.empty() ? "the " + what + " name is empty: name one, or leave the option out"
                           : std::string();
        },
        "");
  };
  app.add_option("--json", json, "Write every output object and the macro variables as JSON")
      ->check(named("file"));
  app.add_option("--html", html, "Write the output as one HTML page")->check(named("file"));
  app.add_option("--svg", svg, "Write each graph as an SVG file into this directory")
      ->check(named("directory"));
  app.add_flag("--nographics", nographics, "Make no graphs (as the NOGRAPHICS option)");
  app.add_option("--utilpath", utilpath, "Directory of utility and scratch files")
      ->check(CLI::ExistingDirectory);
  app.add_flag("--threads", threads, "Allow threaded passes (default)");
  app.add_flag("--nothreads", nothreads, "Run every pass on one thread");
  app.add_option("--cpucount", cpucount, "Number of processors the host reports")
      ->check(CLI::Range(1, vsf::host::kMaxCpuCount));
  app.add_option("--validvarname", validvarname, "Valid variable names: V7, ANY or V6");
  app.add_option("--debug", debug, "Debug text of the DEBUG system option");
  app.add_option("--memsize", memsize, "Memory in MB the host reports as available")
      ->check(CLI::Range(int64_t{0}, vsf::host::kMaxMemSizeMb));
  // The parser's own text, marked as the command's other errors are.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("ERROR: ") + e.what() + "\nRun varsifter --help to see the options.\n";
  });
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }

  std::string text, readError;
  if (program == "-" && vsf::host::startedClosed(STDIN_FILENO)) {
    commandError("cannot read the program from standard input (" + vsf::host::failureReason(EBADF) +
                 ")");
    return 2;
  }
  if (!vsf::host::readProgram(program, &text, &readError)) {
    commandError(readError);
    return 2;
  }

  vsf::host::SystemOptions& o = session().options;
  o.library = lib;
  o.threads = !nothreads;
  o.graphics = !nographics;
  // Before anything is made, the graph directory too.
  std::string targetError;
  if (!vsf::host::claimDocuments({{"--json", json}, {"--html", html}, {"--svg", svg, true}},
                                 program, &targetError)) {
    commandError(targetError);
    return 2;
  }
  if (!svg.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(svg, ec);
    if (ec || !std::filesystem::is_directory(svg)) {
      commandError("cannot make the graph directory " + svg + " (" +
                   (ec ? ec.message() : "a file of that name is in the way") + ")");
      return 2;
    }
    // One error now, rather than one for every graph after the run.
    if (const int e = vsf::host::canMakeFilesIn(svg); e != 0) {
      commandError("cannot write into the graph directory " + svg + " (" +
                   vsf::host::failureReason(e) + ")");
      return 2;
    }
  }
  // A document that cannot be written is found before any step writes its data sets.
  for (const std::string* document : {&json, &html})
    if (!document->empty() && !vsf::host::targetWritable(*document, &targetError)) {
      commandError(targetError);
      return 2;
    }
  vsf::host::output::setGraphTargets(svg, !html.empty());
  // The log's lines are kept for the documents that repeat them, and only then.
  session().log.keepLines(!json.empty() || !html.empty());
  int machine = static_cast<int>(std::thread::hardware_concurrency());
  o.cpuCount = cpucount > 0 ? cpucount : (machine > 0 ? machine : 1);
  if (!validvarname.empty() && !vsf::host::applyOptions("validvarname=" + validvarname)) return 2;
  o.debug = debug;
  o.utilPath = utilpath;
  o.memSizeMb = memsize;
  vsf::host::initNameValueStore(o.cpuCount);

  vsf::VersionRecord version;
  if (!vsf::mcn_main(vsf::host::hostVector(), nullptr)) {
    commandError("the procedure module refused this host's function vector");
    return 2;
  }
  vsf::hxvercn1(&version);
  std::string loadError;
  if (!vsf::host::loadModule(version, &loadError)) {
    commandError(loadError);
    return 2;
  }

  // What the documents need of each BY group's output waits on disk, not in memory.
  vsf::host::output::spillDocuments(!json.empty(), !html.empty());
  vsf::host::ProgramResult r = vsf::host::runProgram(text, program);
  vsf::host::output::finish();      // the listing's last write, and its failure in the log
  if (session().stopRun) return 2;  // a step found a document's file among its data sets
  // Each document on its own: one that cannot be written says so, and the others are still
  // written.
  bool written = true;
  auto document = [&](const std::string& file, const char* option, auto write) {
    std::string error;
    if (file.empty()) return;
    if (write(file, &error)) {
      vsf::host::documentWritten(option);
    } else {
      commandError(error);
      written = false;
    }
  };
  document(json, "--json", vsf::host::output::writeJsonFile);
  document(html, "--html", vsf::host::output::writeHtmlFile);
  for (const std::string& e : vsf::host::output::graphFileErrors()) {
    commandError(e);
    written = false;
  }
  // A listing or log not written whole counts as a document not written.
  if (!written || vsf::host::listingLost() || session().log.lost() != 0) return 2;
  // Step codes above 255 do not fit an exit status; the log has printed each code.
  return r.worstCode <= vsf::step::kWarning ? 0 : 1;
}

// Before the constructors of the libraries: the BLAS starts its threads as it loads.
using Preinit = void (*)(int, char**, char**);
void beforeLibraries(int, char** argv, char** envp) { vsf::host::oneBlasThreadAtLoad(argv, envp); }
[[gnu::used, gnu::section(".preinit_array")]] const Preinit kBeforeLibraries = beforeLibraries;

}  // namespace

int main(int argc, char** argv) {
  vsf::host::guardStandardDescriptors();
  vsf::host::restartForBlas(argv);
  // Blocks of 256 KB and more (pages of stored rows, matrices, parsed blocks) are mapped on their
  // own and go back to the system when freed. The allocator would raise that bound with each
  // such block freed and keep later ones in its heaps, where what one phase's threads free
  // stays between the next phase's blocks: the resident set grew past the step's MEMSIZE=.
  if (!std::getenv("MALLOC_MMAP_THRESHOLD_")) mallopt(M_MMAP_THRESHOLD, 256 << 10);
  // Under an address-space limit the allocator's heaps of the threads, 64 MB of address space
  // each, would take what the run needs: two heaps serve them all (small blocks come from the
  // threads' own caches first).
  if (vsf::mappingsBounded() && !std::getenv("MALLOC_ARENA_MAX")) mallopt(M_ARENA_MAX, 2);
  // So does each thread's stack, whole (RLIMIT_STACK's 8 MB unless set), and a step's crews start
  // a few threads a processor: on 8 processors they took 200 MB. Our threads need far less.
  if (vsf::mappingsBounded()) smallerThreadStacks(size_t{2} << 20);
  vsf::host::installSignalHandling();
  vsf::host::bufferListing();
  return vsf::host::statusUnlessInterrupted(run(argc, argv));
}
