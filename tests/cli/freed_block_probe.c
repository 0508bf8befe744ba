/* Preloaded into pelm: scans every block it frees for the bytes that
 * PELM_PROBE_NEEDLE holds, and says at exit how many held them. A tool
 * that wipes its secrets before freeing them is clean. */
#define _GNU_SOURCE
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void __libc_free(void*);

static int g_found;

void free(void* block) {
  if (block == NULL) return;
  const char* needle = getenv("PELM_PROBE_NEEDLE");
  if (needle != NULL && needle[0] != '\0' &&
      memmem(block, malloc_usable_size(block), needle, strlen(needle)) != NULL) {
    ++g_found;
  }
  __libc_free(block);
}

__attribute__((destructor)) static void report(void) {
  fprintf(stderr, "freed-block probe: the needle was in %d freed block(s)\n", g_found);
}
