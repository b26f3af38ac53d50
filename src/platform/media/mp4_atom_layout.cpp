#include "platform/media/mp4_atom_layout.h"

#include <taglib/tbytevector.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kMaxDepth = 64;

// The atoms TagLib 1.13 descends into.
constexpr std::array<const char*, 11> kContainers = {"moov", "udta", "mdia", "meta", "ilst", "stbl",
                                                     "minf", "moof", "traf", "trak", "stsd"};

bool isContainer(const TagLib::ByteVector& name) {
  return std::ranges::any_of(kContainers, [&name](const char* container) { return name == container; });
}

// What TagLib passes over between a container's header and its first child:
// the entry count of stsd, and the version and flags of meta, unless meta
// turns out to be a plain atom by what follows its header.
taglib::Offset skippedAfterHeader(TagLib::IOStream& stream, const TagLib::ByteVector& name) {
  if (name == "stsd") return 8;
  if (name != "meta") return 0;
  const TagLib::ByteVector next = stream.readBlock(8).mid(4, 4);
  for (const char* child : {"hdlr", "ilst", "mhdr", "ctry", "lang"}) {
    if (next == child) return 0;
  }
  return 4;
}

struct AtomHeader {
  taglib::Offset length = 0;      // of the whole atom, header included
  taglib::Offset headerSize = 0;  // 8, or 16 with a 64-bit length
  TagLib::ByteVector name;
};

// None where TagLib stops reading: a header cut short, a length smaller than
// a header or larger than a position can hold.
std::optional<AtomHeader> readHeader(TagLib::IOStream& stream, taglib::Offset at, taglib::Offset fileLength) {
  stream.seek(at, TagLib::IOStream::Beginning);
  const TagLib::ByteVector header = stream.readBlock(8);
  if (header.size() != 8) return std::nullopt;
  AtomHeader atom{header.toUInt(), 8, header.mid(4, 4)};
  if (atom.length == 0) {
    atom.length = fileLength - at;  // the last atom, reaching to the end of the file
  } else if (atom.length == 1) {
    const TagLib::ByteVector extended = stream.readBlock(8);
    if (extended.size() != 8 || extended.toLongLong() < 0) return std::nullopt;
    atom.length = static_cast<taglib::Offset>(extended.toLongLong());
    atom.headerSize = 16;
  }
  if (atom.length < 8) return std::nullopt;
  return atom;
}

struct OpenContainer {
  TagLib::ByteVector name;
  taglib::Offset end = 0;
};

bool isTagItemList(const std::vector<OpenContainer>& path) {
  static const std::array<const char*, 4> kPath = {"moov", "udta", "meta", "ilst"};
  return path.size() == kPath.size() &&
         std::ranges::equal(path, kPath, [](const OpenContainer& open, const char* name) { return open.name == name; });
}

}  // namespace

// TagLib reads the children of a container while its position lies before
// the container's end, and then stays where the last child left it; it goes
// past any other atom by seeking to its end. A target or an end that
// overflows is, like the seek to it, ignored.
Mp4AtomLayout readMp4AtomLayout(TagLib::IOStream& stream) {
  Mp4AtomLayout layout;
  const taglib::Offset fileLength = stream.length();
  std::vector<OpenContainer> path;  // the containers the position is in, innermost last
  bool tagItemsDone = false;        // TagLib reads the first item list only
  taglib::Offset position = 0;
  while (true) {
    while (!path.empty() && position >= path.back().end) {
      tagItemsDone = tagItemsDone || isTagItemList(path);
      path.pop_back();
    }
    if (path.empty() && position > fileLength - 8) return layout;
    const std::optional<AtomHeader> atom = readHeader(stream, position, fileLength);
    if (!atom) return layout;
    if (!tagItemsDone && isTagItemList(path)) layout.tagItems.push_back({atom->name, position});

    taglib::Offset end = 0;
    const bool endOverflows = __builtin_add_overflow(position, atom->length, &end);
    if (isContainer(atom->name)) {
      if (!endOverflows) path.push_back({atom->name, end});
      if (path.size() > kMaxDepth) {
        layout.nestingIsShallow = false;
        return layout;
      }
      position += atom->headerSize + skippedAfterHeader(stream, atom->name);
    } else {
      position = endOverflows ? position + atom->headerSize : end;
    }
  }
}

}  // namespace platform
