// Preloaded into the command, this library answers for the BLAS that it fell back to its
// generic kernels, as it does on a processor it does not know by name: the command then starts
// itself again with better kernels named, on any processor with AVX2, so that tests can follow
// that path on every machine. Each start of the process is recorded, with the kernels named
// to it, in the file VSF_STARTS_RECORD names.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

char* openblas_get_corename(void) {
  static char generic[] = "Prescott";
  return generic;
}

__attribute__((constructor)) static void recordStart(void) {
  const char* record = getenv("VSF_STARTS_RECORD");
  if (!record) return;
  const char* core = getenv("OPENBLAS_CORETYPE");
  char line[256];
  const int n = snprintf(line, sizeof line, "start %s\n", core ? core : "-");
  // Closed at once: a standard descriptor the test closed must stay closed.
  const int fd = open(record, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (n > 0 && write(fd, line, (size_t)n) != n) unlink(record);  // a record not whole is none
  close(fd);
}
