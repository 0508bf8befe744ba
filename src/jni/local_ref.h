// Deletes a JNI local reference when it goes out of scope. DeleteLocalRef is
// one of the calls the JNI allows while an exception is pending.
#ifndef PELM_JNI_LOCAL_REF_H
#define PELM_JNI_LOCAL_REF_H

#include <jni.h>

namespace pelm::jni {

template <typename T>
class LocalRef {
 public:
  LocalRef(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
  ~LocalRef() {
    if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
  }
  LocalRef(const LocalRef&) = delete;
  LocalRef& operator=(const LocalRef&) = delete;

  T get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

 private:
  JNIEnv* env_;
  T ref_;
};

}  // namespace pelm::jni

#endif
