// A library named like setup's message library that lacks its export.
extern "C" __attribute__((visibility("default"))) int GetMessageText(int, char*) { return 0; }
