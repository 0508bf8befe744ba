/* Preloaded into pelm: a signal arrives at the two moments a tool that
 * writes through a temporary file must not leave it behind. The signal that
 * PELM_SIGNAL_IN_MKSTEMP names by number while mkstemp has created its file
 * but not yet returned (a tool that records the file only after mkstemp
 * returns loses it); the one PELM_SIGNAL_IN_FSYNC names while the file is
 * flushed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>

static void raise_named(const char* variable) {
  const char* signal = getenv(variable);
  if (signal != NULL) raise(atoi(signal));
}

int mkstemp(char* name_template) {
  int (*real)(char*) = (int (*)(char*))dlsym(RTLD_NEXT, "mkstemp");
  const int fd = real(name_template);
  raise_named("PELM_SIGNAL_IN_MKSTEMP");
  return fd;
}

int fsync(int fd) {
  int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  raise_named("PELM_SIGNAL_IN_FSYNC");
  return real(fd);
}
