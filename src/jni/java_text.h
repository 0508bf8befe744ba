// The one byte form Java strings take inside the library, on every runtime,
// and the decoder that turns result bytes back into UTF-16.
//
// The byte form is the one Android's runtime hands out: a surrogate pair is
// one four-byte UTF-8 sequence, U+0000 is C0 80 (so the bytes never hold a
// zero and stay a valid native text), an unpaired surrogate is its
// three-byte form, and every other character is its standard UTF-8.
//
// The decoder reads standard UTF-8 exactly as the JDK's decoder does,
// replacing malformed input with U+FFFD at the same places and in the same
// number, and also accepts the three forms runtimes produce beyond standard
// UTF-8: C0 80 as U+0000, a three-byte surrogate as that UTF-16 unit, and so
// a six-byte pair as the supplementary character it encodes.
#ifndef PELM_JNI_JAVA_TEXT_H
#define PELM_JNI_JAVA_TEXT_H

#include <cstddef>
#include <cstdint>

namespace pelm::jni {

// Bytes the byte form of `count` UTF-16 units takes: at most 3 per unit.
size_t java_text_length(const char16_t* units, size_t count);

// Writes exactly java_text_length(units, count) bytes to out.
void encode_java_text(const char16_t* units, size_t count, char* out);

// Decodes `length` bytes into out, which must hold `length` units (no input
// byte yields more than one unit); returns the number of units written.
size_t decode_java_text(const uint8_t* bytes, size_t length, char16_t* out);

}  // namespace pelm::jni

#endif
