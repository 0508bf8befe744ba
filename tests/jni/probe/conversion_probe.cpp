// Test-only JNI library: lets the JVM suite call the library's exported
// conversions o0OoOOOO and o000OO0O on exact native bytes.
#include <jni.h>

#include <string>

#include "pelm/jni_bridge.h"

namespace {

// The bytes of a Java byte[] as a native text (cut at a zero byte, as a
// native text would be).
std::string native_text(JNIEnv* env, jbyteArray bytes) {
  std::string text(static_cast<size_t>(env->GetArrayLength(bytes)), '\0');
  env->GetByteArrayRegion(bytes, 0, static_cast<jsize>(text.size()),
                          reinterpret_cast<jbyte*>(&text[0]));
  return text.c_str();
}

}  // namespace

extern "C" JNIEXPORT jstring JNICALL
Java_com_trevik_aes_ConversionProbe_toJavaString(JNIEnv* env, jclass, jbyteArray bytes) {
  return o0OoOOOO(env, native_text(env, bytes).c_str());
}

extern "C" JNIEXPORT jbyteArray JNICALL
Java_com_trevik_aes_ConversionProbe_toByteArray(JNIEnv* env, jclass, jbyteArray bytes) {
  return o000OO0O(env, native_text(env, bytes).c_str());
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_trevik_aes_ConversionProbe_nullTextGivesNull(JNIEnv* env, jclass) {
  return o0OoOOOO(env, nullptr) == nullptr && o000OO0O(env, nullptr) == nullptr &&
         !env->ExceptionCheck();
}
