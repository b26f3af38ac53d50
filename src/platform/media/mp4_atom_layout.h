#pragma once

#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

#include <vector>

#include "platform/media/taglib_versions.h"

namespace platform {

struct Mp4ItemAtom {
  TagLib::ByteVector name;
  taglib::Offset offset = 0;  // of the atom's header
};

// What must be known of an MP4 file before TagLib reads its tag.
struct Mp4AtomLayout {
  // Whether the container atoms nest no deeper than TagLib can safely follow.
  // TagLib 1.13 reads nested containers by recursion, without a limit, so
  // that a few hundred kilobytes of atoms nested in one another overflow the
  // stack; later versions stop at the depth used here.
  bool nestingIsShallow = true;
  // The children of the first moov/udta/meta/ilst, the tag's items, in file
  // order.
  std::vector<Mp4ItemAtom> tagItems;
};

// Walks the atoms as TagLib walks them, in a loop, reading their headers
// only. The stream's position is left anywhere.
Mp4AtomLayout readMp4AtomLayout(TagLib::IOStream& stream);

}  // namespace platform
