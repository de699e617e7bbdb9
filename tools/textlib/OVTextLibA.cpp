// The window's message library: GetMSG(number, buffer, language file) puts
// text `number` of the language file into the caller's 256-byte buffer.
// Returns 1 when the text was found; otherwise 0 with the empty text in the
// buffer (missing or unreadable file, not a text file, no such number).

#include "TextFile.h"

extern "C" __attribute__((visibility("default"))) int GetMSG(int number, char* buffer,
                                                            const char* languageFile) {
  std::string text;
  const ovtext::Lookup result = ovtext::FindInFile(languageFile, number, text);
  return ovtext::FillBuffer(buffer, result, text);
}
