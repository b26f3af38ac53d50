#pragma once

#include <taglib/audioproperties.h>
#include <taglib/taglib.h>
#include <taglib/tiostream.h>

#include <cstddef>

namespace TagLib::ID3v2 {
class FrameFactory;
}

// What differs between TagLib 1.13 (Debian 12) and TagLib 2 (Debian 13, and
// every other current distribution), for the few parts of it used here. The
// rest of the tag reader is written once, against both.
namespace platform::taglib {

// Positions in a stream, lengths of blocks, and the starts of blocks to be
// written. TagLib 2 counts positions in off_t and lengths in size_t; 1.13
// counts positions in long, except where a block is written, and lengths in
// unsigned long.
#if TAGLIB_MAJOR_VERSION >= 2
using Offset = TagLib::offset_t;
using Length = std::size_t;
using BlockStart = TagLib::offset_t;
#else
using Offset = long;
using Length = unsigned long;
using BlockStart = unsigned long;
#endif

// An MPEG or FLAC file read through `stream`, its ID3v2 frames made by
// `frames`, its audio properties left unread. TagLib 2 moved the frame factory
// behind the other arguments and deprecated the old order.
template <typename File>
File fileWithFrameFactory(TagLib::IOStream& stream, TagLib::ID3v2::FrameFactory* frames) {
#if TAGLIB_MAJOR_VERSION >= 2
  return File(&stream, false, TagLib::AudioProperties::Average, frames);
#else
  return File(&stream, frames, false);
#endif
}

}  // namespace platform::taglib
