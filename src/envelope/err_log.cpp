#include <android/log.h>

#include <cstdarg>

#include "pelm/envelope.h"

extern "C" int err_log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = __android_log_vprint(ANDROID_LOG_ERROR, "tagName", format, args);
  va_end(args);
  return result;
}
