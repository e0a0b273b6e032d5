// The scene graph: instances under "world", their attributes and channels.
#include "varnex/host.h"
