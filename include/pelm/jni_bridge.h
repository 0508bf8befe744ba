/* The library's JNI face: the four natives bound to com.trevik.aes.PelmTools
 * by JNI_OnLoad, and two conversions from native text to Java objects. */
#ifndef PELM_JNI_BRIDGE_H
#define PELM_JNI_BRIDGE_H

#include <jni.h>

#include "pelm/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* (key text, IV text, data text) -> new String, or null on failure. The
 * strings are read as UTF-16 and handed on as UTF-8 with U+0000 as C0 80
 * and unpaired surrogates in their three-byte form, on every runtime. */
PELM_EXPORT jstring method01(JNIEnv* env, jobject unused, jstring key,
                             jstring iv, jstring data);
PELM_EXPORT jstring method02(JNIEnv* env, jobject unused, jstring key,
                             jstring iv, jstring data);
PELM_EXPORT jstring method03(JNIEnv* env, jobject unused, jstring key,
                             jstring iv, jstring data);
PELM_EXPORT jstring method04(JNIEnv* env, jobject unused, jstring key,
                             jstring iv, jstring data);

/* A new java.lang.String from the text's bytes, decoded by the runtime's
 * own UTF-8 decoder (String(byte[], "utf-8")). Null (with the runtime's
 * exception pending, if it raised one) on failure. The four natives do not
 * use it: they read their strings as UTF-16 and build their results with a
 * decoder of their own, so every text, emoji and U+0000 included, survives
 * a round trip on every runtime. */
PELM_EXPORT jstring o0OoOOOO(JNIEnv* env, const char* text);

/* A new byte[] holding the text's bytes, without the NUL. */
PELM_EXPORT jbyteArray o000OO0O(JNIEnv* env, const char* text);

/* Readable names for the two conversions above (only the short names are
 * exported). */
static inline jstring pelm_new_java_string(JNIEnv* env, const char* text) {
  return o0OoOOOO(env, text);
}
static inline jbyteArray pelm_new_java_byte_array(JNIEnv* env, const char* text) {
  return o000OO0O(env, text);
}

#ifdef __cplusplus
}
#endif

#endif
