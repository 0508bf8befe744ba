// Holds off pthread_cancel while a library call runs. Built without C++
// exceptions, the library unwinds nothing when a thread is cancelled: a call
// ended at a cancellation point inside it (the error log's write, a Java
// runtime call that blocks) would leave its secrets unwiped and its buffers
// unfreed. A cancellation asked for meanwhile takes effect at the thread's
// next cancellation point after the call. Bionic has no pthread_cancel.
#ifndef PELM_THREADS_CANCELLATION_H
#define PELM_THREADS_CANCELLATION_H

#include <pthread.h>

namespace pelm {

class CancellationHeldOff {
 public:
  // User-provided, so a guard is never an unused variable where it holds
  // nothing off.
  CancellationHeldOff() {
#if !defined(__BIONIC__)
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &before_);
#endif
  }
  ~CancellationHeldOff() {
#if !defined(__BIONIC__)
    pthread_setcancelstate(before_, nullptr);
#endif
  }
  CancellationHeldOff(const CancellationHeldOff&) = delete;
  CancellationHeldOff& operator=(const CancellationHeldOff&) = delete;

 private:
#if !defined(__BIONIC__)
  int before_ = PTHREAD_CANCEL_ENABLE;
#endif
};

}  // namespace pelm

#endif
