// The envelope on plain buffers, with every failure a false: what the C++
// exports and the natives both run. Nothing here throws or aborts, out of
// memory included. Not exported.
#ifndef PELM_ENVELOPE_ENVELOPE_CODEC_H
#define PELM_ENVELOPE_ENVELOPE_CODEC_H

#include <cstddef>

#include "memory/wiped_text.h"

namespace pelm::envelope {

// Bytes the caller keeps; need not end in a NUL.
struct TextSpan {
  const char* data;
  size_t length;
};

// Seals `data` into a Base64 text in `out`. On failure returns false, leaves
// `out` untouched and writes the error record myEncrypt promises.
bool seal_envelope(TextSpan key_text, TextSpan iv_text, TextSpan data, WipedText& out);

// Opens an envelope text into `out` (which may then hold NUL bytes). On
// failure returns false, leaves `out` untouched and writes the error record
// myDecrypt promises.
bool open_envelope(TextSpan key_text, TextSpan iv_text, TextSpan envelope, WipedText& out);

}  // namespace pelm::envelope

#endif
