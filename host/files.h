// Files the host makes for a step, and files being written that must not outlive the run.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "frame/host/families.h"

namespace vsf::host {

// Files being written: a named scratch file, the temporary file of a data set or a document.
// A tracked file that is still there when the step ends, or when the run is interrupted, is
// removed; untrack it once it is renamed into place or removed.
void trackFile(const std::filesystem::path& path);
void untrackFile(const std::filesystem::path& path);
// Removes a tracked file and untracks it: a temporary given up.
void removeTrackedFile(const std::filesystem::path& path);
// Whether this process is writing the file (it is tracked).
bool trackedFile(const std::filesystem::path& path);

// Removes every tracked file still present (the step ended early) and closes the unnamed
// scratch files the step kept for reuse, and forgets the directories checked.
void removeStepFiles();
// The same for an interrupted run, after which no file is made nor renamed into place (they
// fail with ECANCELED): a file is made, and tracked or unnamed, under the lock this takes.
void endFiles();
// Renames a tracked file into place and untracks it; false with errno set (ECANCELED after
// endFiles).
bool renameTracked(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether the directory is one (kExists) or one the program may make files in (kWritable),
// asked of the file system until it says yes once in the step: a BY step opens its files there
// a group, and asking each time cost more than a small group. A no sets errno.
enum class DirectoryCheck { kExists, kWritable };
bool checkDirectory(const std::filesystem::path& directory, DirectoryCheck check);

// What becomes of a file as it is made: tracked, or gone from its directory at once (it lasts
// while a descriptor holds it).
enum class NewFile { kTracked, kUnnamed };
// Makes a new file in the directory, named prefix, six random letters or digits, suffix: created
// there and then, never through a link nor over anything already there (a name taken, by another
// user or a killed run, is no failure: another name is drawn). Open for reading and writing;
// -1 with errno set when it cannot be made. *made is the name, tried or made.
int makeNewFile(const std::filesystem::path& directory, std::string_view prefix,
                std::string_view suffix, mode_t mode, std::filesystem::path* made,
                NewFile kept = NewFile::kTracked);
// The start of the names of the host's own files: process number and a counter.
std::string ownFilePrefix();

// A file of the host's own in the UTILPATH directory, opened for reading and writing and gone
// from the directory at once (it disappears when closed); null when it cannot be made. *path,
// when asked for, is the name it had.
std::FILE* anonymousFile(std::string* path = nullptr);

// Keeps the failed operation on the file, with its reason (errno's when none is given), for
// takeFileFailure; returns -1, the failure of the file operations.
int fileFailed(const std::string& path, char operation, std::string reason = {});
// fileFailed for a read past the end of what was written.
int fileShorter(const std::string& path);
// The last failed operation on a file of the step not taken yet; false when there is none.
// The end of the step forgets it (removeStepFiles).
bool takeFileFailure(HostFileFailure* out);
// Whether an operation on a file of the step failed since the step began.
bool stepFileFailed();

// Runs a request that calls the procedure back (hostCallbackRun): the sort of records.
int runCallbackRequest(HostCallbackRecord* record);

}  // namespace vsf::host
