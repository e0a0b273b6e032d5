// A module the token tests load and unload: one word in its read-only memory.
extern "C" __attribute__((visibility("default"))) const char* ModuleWord() { return "a word in a module"; }
