// A stand-in for setup's message library: text n is "Text n" for 0 to 99.
#include <cstdio>

extern "C" __attribute__((visibility("default"))) int GetMSG(int number, char* buffer) {
  if (number < 0 || number > 99) return 0;
  std::snprintf(buffer, 256, "Text %d", number);
  return 1;
}
