// The fuzz harness: the process's scratch folder and the host check.
#include "harness.h"

#include <cstdio>
#include <cstdlib>

#include "varnex/host.h"

namespace fuzzharness {

const vxtest::ScratchDir& Scratch() {
  static vxtest::ScratchDir folder;
  return folder;
}

void CheckHostAndReset(std::string_view what) {
  std::string errors = vxtest::HostErrorText();
  if (!errors.empty()) {
    std::fprintf(stderr, "%.*s: the host found malformed calls:\n%s", static_cast<int>(what.size()), what.data(),
                 errors.c_str());
    std::abort();
  }
  vxhost::ResetHost();
}

}  // namespace fuzzharness
