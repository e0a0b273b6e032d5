// Whether this build runs under AddressSanitizer (and so LeakSanitizer):
// tests widen their time and memory bounds and leave leak checks to it.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define VARNEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEX_ASAN 1
#endif
#endif

namespace vxtest {
#ifdef VARNEX_ASAN
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
}  // namespace vxtest
