#pragma once

#include <string>

// Files made to break readers of tags and pictures: each of them once crashed
// or stalled Sonvetta. Written anew wherever they are needed (tests, fuzzing
// seeds), so that none of them is kept in the repository.
namespace sonvetta::testdata {

// An m4a file of 24 bytes whose second atom declares a 64-bit size near 2^63,
// so that the end of that atom lies beyond any file position.
std::string mp4WithOverflowingAtom();

// An m4a file whose track holds such an atom in its minf container.
std::string mp4WithOverflowingAtomInContainer();

// An m4a file of `depth` moov atoms, each inside the one before.
std::string mp4WithNestedAtoms(int depth);

// An m4a file whose item list holds, in this order, the title "First", the
// artist "Artist", a cover `firstCover`, the title "Second", the album
// "Album", the artist "Last Artist" and a cover `lastCover`: taggers that
// append rather than replace write such lists.
std::string mp4WithRepeatedItems(const std::string& firstCover, const std::string& lastCover);

// The start of an m4a file that names the title "Title" and whose cover
// atom then declares 5 GiB; extended to 6 GiB, a sparse file, it holds all
// that the cover declares.
std::string mp4WithHugeCover();

// An ID3v2.4 tag of the title "Chapters" and `depth` chapter frames, each
// inside the one before.
std::string id3v2WithNestedChapters(int depth);

// An ID3v2.4 tag naming `artist`, `album` and `title`, with a compressed
// picture frame of a few bytes that inflates to `inflatedSize` bytes.
std::string id3v2WithCompressedPicture(const std::string& artist, const std::string& album, const std::string& title,
                                       int inflatedSize);

// A progressive greyscale JPEG of `side` x `side` pixels with `scanCount`
// scans, each of which only says that every block stays empty.
std::string jpegWithEmptyScans(int side, int scanCount);

}  // namespace sonvetta::testdata
