// Run under valgrind's memcheck: the envelope's key text is marked as
// undefined, so any branch or memory address that depends on it is reported
// (the ctgrind technique), and valgrind's exit status fails the test.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <string>

#include "pelm/envelope.h"

int main() {
  int wrong = 0;
  for (int b = 0; b < 256; ++b) {
    char secret = static_cast<char>(b);
    VALGRIND_MAKE_MEM_UNDEFINED(&secret, 1);
    int value = myHexValue(secret);
    VALGRIND_MAKE_MEM_DEFINED(&value, sizeof value);
    const int expected = b >= '0' && b <= '9'   ? b - '0'
                         : b >= 'a' && b <= 'f' ? b - 'a' + 10
                         : b >= 'A' && b <= 'F' ? b - 'A' + 10
                                                : -1;
    wrong += value != expected;
  }
  // A key text of every kind of character, digits and not.
  std::string key_text = "0123456789abcdefABCDEFgz-+ \x80\xff" "0123456789abcdef0123456789abcdef";
  key_text.resize(64, 'e');
  VALGRIND_MAKE_MEM_UNDEFINED(&key_text[0], key_text.size());
  std::string key = myHexLine(key_text);
  VALGRIND_MAKE_MEM_DEFINED(&key[0], key.size());
  VALGRIND_MAKE_MEM_DEFINED(&key_text[0], key_text.size());
  wrong += key.size() != 32 || static_cast<unsigned char>(key[0]) != 0x01;
  std::printf("%d values wrong; memcheck reports any secret-dependent branch or address\n", wrong);
  return wrong == 0 ? 0 : 1;
}
