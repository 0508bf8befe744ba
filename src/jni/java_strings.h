// Java strings in and out of the four natives, in the byte form of
// java_text.h, independent of what GetStringUTFChars would hand out.
#ifndef PELM_JNI_JAVA_STRINGS_H
#define PELM_JNI_JAVA_STRINGS_H

#include <jni.h>

#include <cstddef>
#include <cstdint>

#include "memory/wiped_text.h"

namespace pelm::jni {

// Replaces `out` with the string's bytes. False, with the runtime's
// exception pending if it raised one, when the string cannot be read or the
// bytes cannot be allocated.
bool read_java_text(JNIEnv* env, jstring string, WipedText& out);

// Decodes a string of an even number of hex digits, either case, into the
// count / 2 bytes at `bytes`, reading it in pieces: no copy of the whole
// text is made. `is_hex` says whether every unit was a hex digit. False,
// with the runtime's exception pending, when the string cannot be read.
bool decode_java_hex(JNIEnv* env, jstring string, jsize count, uint8_t* bytes, bool& is_hex);

// A new String from `length` bytes, which must be followed by a zero byte;
// null (exception pending, if any) when it cannot be made.
jstring new_java_string(JNIEnv* env, const char* bytes, size_t length);

}  // namespace pelm::jni

#endif
