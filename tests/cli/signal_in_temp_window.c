/* Preloaded into pelm: a signal arrives at the two moments a tool that
 * writes through a temporary file must not leave it behind. SIGTERM while
 * mkstemp has created its file but not yet returned (a tool that records
 * the file only after mkstemp returns loses it); and the signal that
 * PELM_SIGNAL_IN_FSYNC names by number, while the file is flushed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>

int mkstemp(char* name_template) {
  int (*real)(char*) = (int (*)(char*))dlsym(RTLD_NEXT, "mkstemp");
  const int fd = real(name_template);
  if (getenv("PELM_SIGNAL_IN_FSYNC") == NULL) raise(SIGTERM);
  return fd;
}

int fsync(int fd) {
  int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  const char* signal = getenv("PELM_SIGNAL_IN_FSYNC");
  if (signal != NULL) raise(atoi(signal));
  return real(fd);
}
