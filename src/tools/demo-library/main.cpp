// sonvetta-demo-library HOME: puts a small music library into
// HOME/Music/Music for the demo: an album of three mp3 files, each tagged
// with its artist, album and title and a cover of its own colour.
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A few frames of MPEG audio (128 kbit/s, 44.1 kHz), all silence, so that
// TagLib and players take the file for an mp3.
void writeSilence(const std::filesystem::path& path) {
  std::string frame(417, '\0');
  frame.replace(0, 4, "\xFF\xFB\x90\x00", 4);
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < 3; ++i) out.write(frame.data(), static_cast<std::streamsize>(frame.size()));
}

TagLib::ByteVector pngCover(const char* colorName) {
  QImage cover(64, 64, QImage::Format_RGB32);
  cover.fill(QColor::fromString(colorName));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  cover.save(&buffer, "PNG");
  return TagLib::ByteVector(png.constData(), static_cast<unsigned int>(png.size()));
}

bool writeTrack(const std::filesystem::path& album, const char* fileName, const char* title, const char* color) {
  const std::filesystem::path path = album / fileName;
  writeSilence(path);
  TagLib::MPEG::File file(path.c_str(), false);
  TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
  tag->setArtist("Demo Band");
  tag->setAlbum("Hues");
  tag->setTitle(title);
  auto* cover = new TagLib::ID3v2::AttachedPictureFrame;
  cover->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
  cover->setMimeType("image/png");
  cover->setPicture(pngCover(color));
  tag->addFrame(cover);
  if (file.save(TagLib::MPEG::File::ID3v2)) return true;
  std::fprintf(stderr, "sonvetta-demo-library: could not write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sonvetta-demo-library HOME\n");
    return 2;
  }
  const auto album = std::filesystem::path(argv[1]) / "Music" / "Music" / "Demo Band" / "Hues";
  std::error_code error;
  std::filesystem::create_directories(album, error);
  if (error) {
    std::fprintf(stderr, "sonvetta-demo-library: %s: %s\n", album.c_str(), error.message().c_str());
    return 1;
  }
  const bool written = writeTrack(album, "01 Primary.mp3", "Primary", "gold") &&
                       writeTrack(album, "02 Red.mp3", "Red", "red") &&
                       writeTrack(album, "03 Blue.mp3", "Blue", "blue");
  return written ? 0 : 1;
}
