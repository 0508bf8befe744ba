// Binds the four natives to com.trevik.aes.PelmTools when the library loads.
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

// RegisterNatives binds entries one at a time, so a failure can leave some
// bound. Unbind them all, keeping the runtime's exception for Java to see
// without making any JNI call while it is pending.
void unbind_after_failure(JNIEnv* env, jclass cls) {
  jthrowable cause = env->ExceptionOccurred();
  env->ExceptionClear();
  env->UnregisterNatives(cls);
  if (cause != nullptr) {
    env->Throw(cause);
    env->DeleteLocalRef(cause);
  }
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) {
    return JNI_ERR;
  }
  jclass cls = env->FindClass(kClassName);
  if (cls == nullptr) return JNI_ERR;
  const jint count = static_cast<jint>(sizeof kMethods / sizeof kMethods[0]);
  const bool bound = env->RegisterNatives(cls, kMethods, count) >= 0;
  if (!bound) unbind_after_failure(env, cls);
  env->DeleteLocalRef(cls);
  return bound ? JNI_VERSION_1_6 : JNI_ERR;
}
