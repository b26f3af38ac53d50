#pragma once

#include <taglib/tiostream.h>

namespace platform {

// Whether the container atoms of the MP4 file in `stream` nest no deeper than
// TagLib can safely follow. TagLib 1.13 reads nested containers by recursion,
// without a limit, so that a few hundred kilobytes of atoms nested in one
// another overflow the stack; later versions stop at the depth used here.
//
// The atoms are walked as TagLib walks them, in a loop, reading their headers
// only. The stream's position is left anywhere.
bool mp4AtomNestingIsShallow(TagLib::IOStream& stream);

}  // namespace platform
