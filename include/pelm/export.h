/* Marks the functions that other native code in the process may link against.
 * Everything else in the library is built with hidden visibility. */
#ifndef PELM_EXPORT_H
#define PELM_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define PELM_EXPORT __attribute__((visibility("default")))
#else
#define PELM_EXPORT
#endif

#endif
