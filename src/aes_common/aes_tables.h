// The FIPS-197 constant tables, for both key sizes: the S-box, its inverse
// and the round constants.
#ifndef PELM_AES_COMMON_AES_TABLES_H
#define PELM_AES_COMMON_AES_TABLES_H

#include <cstdint>

namespace pelm::aes {

extern const uint8_t kSbox[256];
extern const uint8_t kInvSbox[256];
// Rcon[i], indexed 1 to 10 (index 0 is unused); AES-256 uses 1 to 7.
extern const uint8_t kRcon[11];

}  // namespace pelm::aes

#endif
