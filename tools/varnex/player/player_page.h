// The player page with its script and three.js inside, made at build time
// (build_page.mjs); empty in a build made without npm.
#pragma once

namespace varnex {

extern const char kPlayerPage[];

}  // namespace varnex
