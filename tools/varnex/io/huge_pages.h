// Transparent huge pages for varnex's heap. A long take's import and export
// touch tens of megabytes of fresh memory, and every 4 KB page costs a
// fault; on a virtual machine such faults are a quarter of an export's CPU.
// Where the kernel gives huge pages on request, varnex asks for them once,
// before anything large is allocated, for a stretch of heap it reserves
// then; everything else is as the C library's allocator does it.
#pragma once

namespace varnex {

// Set VARNEX_HUGE_PAGES=0 in the environment to leave the allocator as it is.
constexpr const char* kHugePagesVariable = "VARNEX_HUGE_PAGES";

// Reserves and advises the heap when the platform, the kernel and the
// process's limits allow it and the environment does not say no; true when
// it did.
bool PreferHugePages();

}  // namespace varnex
