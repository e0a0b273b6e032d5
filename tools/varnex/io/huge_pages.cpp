// How varnex's heap asks for huge pages (huge_pages.h). glibc's allocator
// takes everything below kLargestFromHeap from one heap that grows by brk;
// one growth of kReserve, made at start-up and advised with MADV_HUGEPAGE,
// then holds what a big take needs, and is never given back (a heap that
// shrank and grew again would grow without the advice). Beyond the
// reserve the heap grows with ordinary pages.
#include "io/huge_pages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#define VARNEX_HUGE_PAGES_POSSIBLE 1
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VARNEX_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define VARNEX_OWN_ALLOCATOR 1
#endif
#endif

namespace varnex {

#if defined(VARNEX_HUGE_PAGES_POSSIBLE) && !defined(VARNEX_OWN_ALLOCATOR)

namespace {

// The stretch of heap reserved at start-up: the 27 MB take of the
// benchmarks peaks at 93 MB through an export.
constexpr size_t kReserve = size_t(256) << 20;
// glibc's defaults, put back where the reserve cannot be made.
constexpr int kDefaultPad = 128 * 1024, kDefaultThreshold = 128 * 1024;
// glibc's largest threshold for serving a block from the heap on 64-bit
// systems; larger blocks are mapped on their own, with ordinary pages.
constexpr int kLargestFromHeap = 32 << 20;
constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
constexpr size_t kProbe = size_t(4) << 20;

bool AskedNotTo() {
  const char* value = std::getenv(kHugePagesVariable);
  return value && (std::strcmp(value, "0") == 0 || std::strcmp(value, "off") == 0);
}

// The kernel gives huge pages to memory advised so: its mode is "madvise".
// Under "always" it gives them unasked, and under "never" not at all.
bool KernelGivesThemOnRequest() {
  std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string text;
  return std::getline(mode, text) && text.find("[madvise]") != std::string::npos;
}

// A limit on the address space or the data segment is the user's: a
// reserve would take its room from what the limit leaves for the take.
bool Unlimited() {
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return false;
  }
  return true;
}

void PutBackDefaults() {
  mallopt(M_TOP_PAD, kDefaultPad);
  mallopt(M_MMAP_THRESHOLD, kDefaultThreshold);
  mallopt(M_TRIM_THRESHOLD, kDefaultThreshold);
}

}  // namespace

bool PreferHugePages() {
  if (AskedNotTo() || !KernelGivesThemOnRequest() || !Unlimited()) return false;
  if (!mallopt(M_MMAP_THRESHOLD, kLargestFromHeap) || !mallopt(M_TRIM_THRESHOLD, -1) ||
      !mallopt(M_TOP_PAD, int(kReserve))) {
    PutBackDefaults();
    return false;
  }
  // A block larger than what is left of the start-up heap makes it grow by
  // the pad at once; volatile keeps the compiler from leaving out an
  // allocation it sees freed unused.
  const uintptr_t start = uintptr_t(sbrk(0));
  void* volatile probe = std::malloc(kProbe);
  const uintptr_t end = uintptr_t(sbrk(0));
  std::free(probe);
  mallopt(M_TOP_PAD, kDefaultPad);
  if (start == uintptr_t(-1) || end < start + kReserve) {
    PutBackDefaults();
    return false;
  }
  const uintptr_t from = (start + kHugePage - 1) & ~(kHugePage - 1);
  return madvise(reinterpret_cast<void*>(from), end - from, MADV_HUGEPAGE) == 0;
}

#else

bool PreferHugePages() { return false; }

#endif

}  // namespace varnex
