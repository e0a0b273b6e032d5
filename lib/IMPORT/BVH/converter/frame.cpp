// Entry point, import driver and import state, options file, dialogs.
#include "frame.h"

ImportOptions importOptions;
ImportState importState;

[[noreturn]] void JumpToImportTrap() { longjmp(importState.trap, 1); }

VARNEX_EXPORT void Varnex_Plugin_EntryPoint(const char** keywords, void** values, int32_t* result, void* extra) {
  (void)keywords;
  (void)values;
  (void)extra;
  *result = 0;
}
