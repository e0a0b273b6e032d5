// The player page of a build made without node and the player's npm
// packages: none, so that --preview OUT.html can say so.
#include "player/player_page.h"

namespace varnex {

const char kPlayerPage[] = "";

}  // namespace varnex
