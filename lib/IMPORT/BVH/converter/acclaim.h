// The Acclaim ASF/AMC importer as the frame sees it.
#pragma once

void ImportAcclaim();
// Releases whatever model an import left behind (after an abort or a fatal
// error), so the next import starts from nothing.
void ReleaseAcclaimModel();
