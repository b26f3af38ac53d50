#pragma once

namespace platform {

// Ends the process, saying once on standard error that the display has gone
// away. Both the toolkit's connection and the compositor's notice it, in
// either order, from either thread.
[[noreturn]] void endForLostDisplay();

// From now on the toolkit's own notice of a broken display connection ends
// the process the same way, rather than in the toolkit's own words.
void endForLostToolkitDisplay();

}  // namespace platform
