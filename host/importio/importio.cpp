// Import I/O services: the import bracket, messages, progress and names.
#include "varnex/host.h"
