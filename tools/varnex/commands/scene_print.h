// The imported scene as people read it: a tree of instances with their
// skeleton marks, free axes, Euler order and keys, and a summary line.
#pragma once

#include <cstdio>

namespace varnex {

void PrintSceneTree(std::FILE* out);
void PrintSceneSummary(std::FILE* out);

}  // namespace varnex
