#include "hostile_files.h"

#include <QByteArray>
#include <cstdint>

#include "binary_fields.h"

namespace sonvetta::testdata {

namespace {

const std::string kFileType = mp4Atom("ftyp", std::string("M4A ") + bigEndian(0, 4) + "M4A isom");

// A free atom with a 64-bit size: 16 bytes that declare 2^63 - 1.
const std::string kOverflowingAtom = bigEndian(1, 4) + "free" + bigEndian(0x7FFF'FFFF'FFFF'FFFF, 8);

std::string mp4Data(int type, const std::string& payload) {
  return mp4Atom("data", bigEndian(type, 4) + bigEndian(0, 4) + payload);
}

std::string mp4Text(const char* name, const std::string& text) { return mp4Atom(name, mp4Data(1, text)); }

std::string mp4Cover(const std::string& picture) {
  return mp4Atom("covr", mp4Data(picture.starts_with("\x89PNG") ? 14 : 13, picture));
}

// moov/udta/meta/ilst around `items`, after the file type.
std::string mp4WithItemList(const std::string& items) {
  const std::string handler = mp4Atom("hdlr", bigEndian(0, 8) + "mdirappl" + std::string(9, '\0'));
  const std::string meta = mp4Atom("meta", bigEndian(0, 4) + handler + mp4Atom("ilst", items));
  return kFileType + mp4Atom("moov", mp4Atom("mvhd", std::string(100, '\0')) + mp4Atom("udta", meta));
}

std::string synchsafe(std::uint32_t value) {
  std::string bytes;
  for (int shift = 21; shift >= 0; shift -= 7) bytes += static_cast<char>((value >> shift) & 0x7F);
  return bytes;
}

std::string id3v2Frame(const std::string& id, const std::string& content, const std::string& flags = {0, 0}) {
  return id + synchsafe(static_cast<std::uint32_t>(content.size())) + flags + content;
}

std::string id3v2Tag(const std::string& frames) {
  return std::string("ID3\x04\0\0", 6) + synchsafe(static_cast<std::uint32_t>(frames.size())) + frames;
}

std::string jpegSegment(std::uint8_t marker, const std::string& content) {
  return std::string{'\xFF', static_cast<char>(marker)} + bigEndian(content.size() + 2, 2) + content;
}

// Entropy-coded bits, with the zero byte that must follow every 0xFF.
class BitWriter {
 public:
  void write(std::uint32_t value, int bitCount) {
    for (int bit = bitCount - 1; bit >= 0; --bit) {
      current_ = static_cast<std::uint8_t>((current_ << 1) | ((value >> bit) & 1));
      if (++filled_ == 8) flushByte();
    }
  }

  // Pads the last byte with one bits, as the format asks.
  std::string finish() {
    while (filled_ != 0) write(1, 1);
    return bytes_;
  }

 private:
  void flushByte() {
    bytes_ += static_cast<char>(current_);
    if (current_ == 0xFF) bytes_ += '\0';
    current_ = 0;
    filled_ = 0;
  }

  std::string bytes_;
  std::uint8_t current_ = 0;
  int filled_ = 0;
};

}  // namespace

std::string mp4WithOverflowingAtom() { return mp4Atom("ftyp", "") + kOverflowingAtom; }

std::string mp4WithOverflowingAtomInContainer() {
  const std::string track = mp4Atom("trak", mp4Atom("mdia", mp4Atom("minf", kOverflowingAtom)));
  return kFileType + mp4Atom("moov", mp4Atom("mvhd", std::string(100, '\0')) + track);
}

std::string mp4WithNestedAtoms(int depth) {
  std::string nested;
  for (int level = depth; level > 0; --level) nested += bigEndian(8 * level, 4) + "moov";
  return kFileType + nested;
}

std::string mp4WithRepeatedItems(const std::string& firstCover, const std::string& lastCover) {
  return mp4WithItemList(mp4Text("\251nam", "First") + mp4Text("\251ART", "Artist") + mp4Cover(firstCover) +
                         mp4Text("\251nam", "Second") + mp4Text("\251alb", "Album") +
                         mp4Text("\251ART", "Last Artist") + mp4Cover(lastCover));
}

std::string mp4WithHugeCover() {
  constexpr std::uint64_t kDeclared = std::uint64_t{5} << 30;
  // A 64-bit size, then a data atom that claims as much.
  const std::string cover = bigEndian(1, 4) + "covr" + bigEndian(kDeclared, 8) + bigEndian(0xFFFFFFFF, 4) + "data" +
                            bigEndian(13, 4) + bigEndian(0, 4);
  return mp4WithItemList(mp4Text("\251nam", "Title") + cover);
}

std::string id3v2WithNestedChapters(int depth) {
  // An element ID and four times, then the embedded frames.
  const std::string chapter = std::string("c\0", 2) + std::string(16, '\0');
  std::string frames = id3v2Frame("TIT2", "\x03" "Chapters");
  for (int level = depth; level > 0; --level) {
    const auto size = static_cast<std::uint32_t>(chapter.size() + (level - 1) * (10 + chapter.size()));
    frames += std::string("CHAP") + synchsafe(size) + std::string(2, '\0') + chapter;
  }
  return id3v2Tag(frames);
}

std::string id3v2WithCompressedPicture(const std::string& artist, const std::string& album, const std::string& title,
                                       int inflatedSize) {
  const auto text = [](const std::string& value) { return std::string("\x03") + value; };  // UTF-8
  const std::string picture = std::string("\x03image/jpeg\0\x03\0", 14) + std::string(inflatedSize, '\0');
  const QByteArray zlibStream = qCompress(QByteArray::fromStdString(picture)).mid(4);  // Qt's own size prefix dropped
  // Flags: compressed, with the length of the inflated data before it.
  const std::string compressed = synchsafe(static_cast<std::uint32_t>(picture.size())) + zlibStream.toStdString();
  return id3v2Tag(id3v2Frame("TPE1", text(artist)) + id3v2Frame("TALB", text(album)) + id3v2Frame("TIT2", text(title)) +
                  id3v2Frame("APIC", compressed, {0, 0x09}));
}

std::string jpegWithEmptyScans(int side, int scanCount) {
  const std::string quantisation = jpegSegment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
  // Progressive DCT, 8 bits, one component sampled 1 x 1 with table 0.
  const std::string frame = jpegSegment(0xC2, std::string("\x08") + bigEndian(side, 2) + bigEndian(side, 2) + std::string("\x01\x01\x11\x00", 4));
  // AC table 0 with one code of one bit, for "2^14 empty blocks and 14 more bits of count".
  const std::string table = jpegSegment(0xC4, std::string("\x10\x01") + std::string(15, '\0') + "\xE0");

  // One scan over all 63 AC coefficients of the component.
  BitWriter runs;
  const int blockCount = ((side + 7) / 8) * ((side + 7) / 8);
  for (int covered = 0; covered < blockCount; covered += 0x7FFF) {
    runs.write(0, 1);
    runs.write(0x3FFF, 14);
  }
  const std::string scan = jpegSegment(0xDA, std::string("\x01\x01\x00\x01\x3F\x00", 6)) + runs.finish();

  std::string jpeg = "\xFF\xD8" + quantisation + frame + table;
  for (int count = 0; count < scanCount; ++count) jpeg += scan;
  return jpeg + "\xFF\xD9";
}

}  // namespace sonvetta::testdata
