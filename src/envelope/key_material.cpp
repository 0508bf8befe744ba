#include "envelope_internal.h"
#include "pelm/envelope.h"

namespace pelm::envelope {

bool decode_key_material(TextSpan key_text, TextSpan iv_text, KeyMaterial& material) {
  if (key_text.length != kKeyTextLength || iv_text.length != kIvTextLength) {
    err_log("%s", kInputError);
    return false;
  }
  // Decoded straight into the material, which wipes itself: no copy of
  // the key passes through memory that an allocation failure would free
  // unwiped.
  hex_line_into(key_text.data, kKeyLength, material.key);
  hex_line_into(iv_text.data, kIvLength, material.iv);
  return true;
}

}  // namespace pelm::envelope
