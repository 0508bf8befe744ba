// Binds the four natives to com.trevik.aes.PelmTools when the library loads.
#include <android/log.h>
#include <jni.h>

#include "pelm/jni_bridge.h"

namespace {

constexpr char kClassName[] = "com/trevik/aes/PelmTools";
constexpr char kSignature[] =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;";

// jni.h declares these fields as char*; the runtime only reads them.
const JNINativeMethod kMethods[] = {
    {const_cast<char*>("method01"), const_cast<char*>(kSignature), reinterpret_cast<void*>(method01)},
    {const_cast<char*>("method02"), const_cast<char*>(kSignature), reinterpret_cast<void*>(method02)},
    {const_cast<char*>("method03"), const_cast<char*>(kSignature), reinterpret_cast<void*>(method03)},
    {const_cast<char*>("method04"), const_cast<char*>(kSignature), reinterpret_cast<void*>(method04)},
};

// A load that fails ends with nothing pending: Android's runtime aborts
// the process under CheckJNI when JNI_OnLoad returns with an exception
// pending, and every runtime turns JNI_ERR into an UnsatisfiedLinkError,
// which PelmTools explains. What the exception said goes to the log, under
// the tag "pelmLib": `what`, the class, and the exception's text (or
// `reason` without one).
void log_and_clear(JNIEnv* env, const char* what, const char* reason) {
  jthrowable cause = env->ExceptionOccurred();
  env->ExceptionClear();
  jstring text = nullptr;
  if (cause != nullptr) {
    jclass throwable = env->FindClass("java/lang/Throwable");
    jmethodID to_string =
        throwable ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
    if (to_string != nullptr) text = static_cast<jstring>(env->CallObjectMethod(cause, to_string));
    if (env->ExceptionCheck()) {  // no memory for the text: the fixed reason will do
      env->ExceptionClear();
      text = nullptr;
    }
    if (throwable != nullptr) env->DeleteLocalRef(throwable);
    env->DeleteLocalRef(cause);
  }
  const char* chars = text != nullptr ? env->GetStringUTFChars(text, nullptr) : nullptr;
  if (env->ExceptionCheck()) env->ExceptionClear();
  __android_log_print(ANDROID_LOG_ERROR, "pelmLib", "%s %s: %s", what, kClassName,
                      chars != nullptr ? chars : reason);
  if (chars != nullptr) env->ReleaseStringUTFChars(text, chars);
  if (text != nullptr) env->DeleteLocalRef(text);
}

// RegisterNatives binds entries one at a time, so a failure can leave some
// bound: unbind them all. Its exception is a NoSuchMethodError naming the
// method.
void unbind_after_failure(JNIEnv* env, jclass cls) {
  log_and_clear(env, "cannot bind the natives of",
                "a native method is missing, not native, or of another signature");
  env->UnregisterNatives(cls);
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) {
    return JNI_ERR;
  }
  jclass cls = env->FindClass(kClassName);
  if (cls == nullptr) {
    log_and_clear(env, "cannot find", "not found by the loading class's class loader");
    return JNI_ERR;
  }
  const jint count = static_cast<jint>(sizeof kMethods / sizeof kMethods[0]);
  const bool bound = env->RegisterNatives(cls, kMethods, count) >= 0;
  if (!bound) unbind_after_failure(env, cls);
  env->DeleteLocalRef(cls);
  return bound ? JNI_VERSION_1_6 : JNI_ERR;
}
