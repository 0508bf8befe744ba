/* The sealed envelope: zlib level 9, AES-256-CFB128, a 4-byte big-endian
 * length trailer in clear, all as one Base64 text.
 *
 * Key and IV arrive as hexadecimal texts of exactly 64 and 32 bytes.
 * Every function here keeps its state per call and may run on any thread.
 *
 * Out of memory is a false like any other failure, but for one step: filling
 * the std::string result. A library built with PELM_CXX_EXCEPTIONS (hosts)
 * returns false there too (myHexLine lets the bad_alloc through); one built
 * without (Android) writes an error record and aborts. */
#ifndef PELM_ENVELOPE_H
#define PELM_ENVELOPE_H

#include <string>

#include "pelm/export.h"

/* Seals `data` into `out`. On failure returns false, leaves `out` untouched
 * and writes one error record to the Android log under "tagName". */
PELM_EXPORT bool myEncrypt(const std::string& key, const std::string& iv,
                           const std::string& data, std::string& out);

/* Opens an envelope text into `out` (which may then hold NUL bytes). On
 * failure returns false and leaves `out` untouched; every failure but a
 * payload of four bytes or fewer writes one error record. */
PELM_EXPORT bool myDecrypt(const std::string& key, const std::string& iv,
                           const std::string& envelope, std::string& out);

/* Decodes hex text two characters to a byte, high nibble first. Never
 * rejects a character: a non-digit counts as -1. An odd length gives "". */
PELM_EXPORT std::string myHexLine(const std::string& text);

/* The value of one hex digit (0 to 15), or -1 for any other byte. */
PELM_EXPORT int myHexValue(char ch);

/* Formats like printf and writes one Android log record at ERROR priority
 * under the tag "tagName". */
extern "C" PELM_EXPORT int err_log(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

#endif
