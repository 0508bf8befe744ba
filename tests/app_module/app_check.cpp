// The app's own native code: a round trip through the library it built.
#include <cstdio>
#include <string>

#include "pelm/envelope.h"

int main() {
  const std::string key(64, 'c'), iv(32, 'd'), text = "from an app module";
  std::string envelope, opened;
  if (!myEncrypt(key, iv, text, envelope) || !myDecrypt(key, iv, envelope, opened) || opened != text) {
    std::puts("round trip failed");
    return 1;
  }
  std::printf("sealed and opened: %s\n", envelope.c_str());
  return 0;
}
