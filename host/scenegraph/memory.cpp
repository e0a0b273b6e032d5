// How the host asks the C library to manage its memory. A take's keys are a
// few hundred kilobytes per channel, which the allocator would otherwise map
// afresh for every channel and unmap when the scene is cleared: the next
// import would then fault in every page of its keys again.
#include <cstdlib>  // defines __GLIBC__ where it applies
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vxhost {
namespace {

struct KeepFreedMemory {
  KeepFreedMemory() {
#if defined(__GLIBC__)
    // Blocks below 32 MiB (glibc's own ceiling) come from the heap, and up to
    // 1 GiB freed at the heap's top stays there for the next scene. The
    // process never holds more than its largest scene did.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
  }
};
const KeepFreedMemory keepFreedMemory;

}  // namespace
}  // namespace vxhost
