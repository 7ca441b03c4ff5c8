// Our host's data-set services (the HostDsFamily is kDsFamily in host/session.h).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vsf {
struct HostDataSet;
}

namespace vsf::host {

// The longest a variable name can be, in bytes: a longer name on a CSV file's first line is
// cut to it, and a longer name in a program names no variable.
inline constexpr size_t kNameLimit = 32;

// Why a variable of a data set the step reads is character when most of its values are
// numbers: the first value that is not one, where it is, and how to mend it. Empty for any
// other variable.
std::string strayCellHint(std::string_view variable);

// Says once a step, in a note, that a variable a statement names holds values a number does
// not hold exactly (digits past a double's, as an id past 2^53, or a number too small for a
// double): its first such value, its line and the number used. Nothing for other variables.
void noteInexactDigits(HostDataSet* ds, int number);

// Why a name that names no variable cannot: it is longer than a variable name can be (and the
// variable a CSV file's first line gave that name is read under its cut name), it is written
// with the blanks around it that were dropped from the file's names, or a file's first line
// writes it after numpy.savetxt's "# ". Empty when none of these is why.
std::string unfoundNameHint(std::string_view name);

// A file the run writes besides its data sets, named on the command line.
struct DocumentTarget {
  std::string option;  // "--json", "--html", "--svg"
  std::string path;    // as given; empty when the option is not given
  bool directory = false;
};

// Keeps the documents' files for the run, checked as the data sets' files are: false, with
// the error, when two name one file (a file among the graphs' files of the --svg directory
// counts as one of them), or one names the program file or the file of a data set of the
// library. From then on, a step that reads or writes one of them as a data set (by its path in
// quotes) fails, and the run stops after it (Session::stopRun); a step whose output data set is
// the program file or a file among the graphs' files fails. Call once the library is set.
bool claimDocuments(const std::vector<DocumentTarget>& documents, const std::string& program,
                    std::string* error);
// Whether a graph's file may be written at the path: false, with the error naming the path and
// the file its links lead to, when that file is the program, a data set the library holds or the
// run reads or writes, a document, or the file of a graph written before.
bool claimGraphFile(const std::filesystem::path& path, std::string* error);
// The graph's file at the path is written: no later graph may replace it.
void graphFileWritten(const std::filesystem::path& path);
// The document of the option is written whole.
void documentWritten(const std::string& option);
// For the log of an interrupted run: the output data sets of the current step and the
// documents written whole and kept, and those not written; a line for each that has any.
std::vector<std::string> interruptedOutputs();
// For the log of a step that ended early: the line naming its output data sets not in place,
// none when every one is.
std::vector<std::string> unwrittenOutputs();

// Called by the step runner after every step: discards output data sets not closed (their
// files never appear), closes the readers and deletes the step's binary copies.
void closeStepDataSets();

}  // namespace vsf::host
