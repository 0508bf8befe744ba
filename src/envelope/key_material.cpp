#include <cstring>

#include "envelope_internal.h"
#include "pelm/envelope.h"

namespace pelm::envelope {

bool decode_key_material(const std::string& key_text,
                         const std::string& iv_text, KeyMaterial& material) {
  if (key_text.size() != kKeyTextLength || iv_text.size() != kIvTextLength) {
    err_log("%s", kInputError);
    return false;
  }
  // Texts of these lengths always decode to exactly 32 and 16 bytes; the
  // decoded copies are wiped before their memory goes back.
  std::string key = myHexLine(key_text);
  std::string iv = myHexLine(iv_text);
  std::memcpy(material.key, key.data(), kKeyLength);
  std::memcpy(material.iv, iv.data(), kIvLength);
  secure_wipe(&key[0], key.size());
  secure_wipe(&iv[0], iv.size());
  return true;
}

}  // namespace pelm::envelope
