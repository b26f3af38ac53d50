#include "tagged_audio.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/textidentificationframe.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <cstdint>
#include <fstream>
#include <stdexcept>

#include "binary_fields.h"

namespace sonvetta::testdata {

namespace fs = std::filesystem;

namespace {

TagLib::ByteVector bytes(const std::string& data) {
  return TagLib::ByteVector(data.data(), static_cast<unsigned int>(data.size()));
}

TagLib::String text(const std::optional<std::string>& value) {
  return value ? TagLib::String(*value, TagLib::String::UTF8) : TagLib::String();
}

std::string littleEndian(std::uint32_t value, int byteCount) {
  std::string result;
  for (int i = 0; i < byteCount; ++i) result += static_cast<char>((value >> (8 * i)) & 0xFF);
  return result;
}

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
}

void saved(bool ok, const fs::path& path) {
  if (!ok) throw std::runtime_error("TagLib could not save " + path.string());
}

// MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz) of silence, of 1152
// samples and 417 bytes each.
constexpr int kMpegFrameSamples = 1152;
constexpr int kMpegFrameBytes = 417;
std::string mpegFrames(int count = 3) {
  std::string frame(kMpegFrameBytes, '\0');
  frame.replace(0, 4, "\xFF\xFB\x90\x00", 4);
  std::string frames;
  for (int i = 0; i < count; ++i) frames += frame;
  return frames;
}

// Two ADTS frames (AAC LC, 44.1 kHz, stereo) of 16 bytes each.
std::string adtsFrames() {
  const std::string frame("\xFF\xF1\x50\x80\x02\x1F\xFC\0\0\0\0\0\0\0\0\0", 16);
  return frame + frame;
}

std::string minimalWav() {
  const std::string format = littleEndian(1, 2) + littleEndian(1, 2) + littleEndian(8000, 4) +
                             littleEndian(16000, 4) + littleEndian(2, 2) + littleEndian(16, 2);
  const std::string chunks = "WAVEfmt " + littleEndian(16, 4) + format + "data" + littleEndian(4, 4) +
                             std::string(4, '\0');
  return "RIFF" + littleEndian(static_cast<std::uint32_t>(chunks.size()), 4) + chunks;
}

// The stream header alone: 4096-sample blocks, 44.1 kHz, stereo, 16 bits.
std::string minimalFlac() {
  const std::uint64_t rateChannelsBits = (std::uint64_t{44100} << 44) | (std::uint64_t{1} << 41) |
                                         (std::uint64_t{15} << 36);
  const std::string streamInfo = bigEndian(4096, 2) + bigEndian(4096, 2) + bigEndian(0, 3) + bigEndian(0, 3) +
                                 bigEndian(rateChannelsBits, 8) + std::string(16, '\0');
  return "fLaC" + std::string("\x80", 1) + bigEndian(streamInfo.size(), 3) + streamInfo;
}

std::string mp4FileType() { return mp4Atom("ftyp", "M4A " + bigEndian(0, 4) + "M4A isom"); }

std::string minimalMp4() { return mp4FileType() + mp4Atom("moov", mp4Atom("mvhd", std::string(100, '\0'))); }

// One audio track of MPEG-1 Layer III silence, the samples before the
// movie's header, where tags written later do not move them.
std::string playableMp4(int seconds) {
  const int count = seconds * 44100 / kMpegFrameSamples;
  const std::uint64_t duration = std::uint64_t{44100} * seconds;
  const std::string head = mp4FileType() + mp4Atom("mdat", mpegFrames(count));
  const std::string version = bigEndian(0, 4);  // and flags
  const std::string times = bigEndian(0, 8);
  const std::string unity = bigEndian(0x00010000, 4) + std::string(12, '\0') + bigEndian(0x00010000, 4) +
                            std::string(12, '\0') + bigEndian(0x40000000, 4);
  const std::string movieHeader = version + times + bigEndian(44100, 4) + bigEndian(duration, 4) +
                                  bigEndian(0x00010000, 4) + bigEndian(0x0100, 2) + std::string(10, '\0') + unity +
                                  std::string(24, '\0') + bigEndian(2, 4);
  const std::string trackHeader = bigEndian(7, 4) + times + bigEndian(1, 4) + bigEndian(0, 4) +
                                  bigEndian(duration, 4) + std::string(12, '\0') + bigEndian(0x0100, 2) +
                                  bigEndian(0, 2) + unity + bigEndian(0, 8);
  const std::string mediaHeader = version + times + bigEndian(44100, 4) + bigEndian(duration, 4) +
                                  bigEndian(0x55C4, 2) + bigEndian(0, 2);
  const std::string handler = version + bigEndian(0, 4) + "soun" + std::string(13, '\0');
  // MPEG-1 audio (0x6B) in an audio stream, at 128 kbit/s.
  const std::string decoderConfig = "\x04" + bigEndian(13, 1) + "\x6B\x15" + bigEndian(0, 3) +
                                    bigEndian(128000, 4) + bigEndian(128000, 4);
  const std::string stream = "\x03" + bigEndian(3 + decoderConfig.size() + 3, 1) + bigEndian(1, 2) +
                             std::string(1, '\0') + decoderConfig + "\x06\x01\x02";
  const std::string sampleEntry = std::string(6, '\0') + bigEndian(1, 2) + bigEndian(0, 8) + bigEndian(2, 2) +
                                  bigEndian(16, 2) + bigEndian(0, 4) + bigEndian(std::uint64_t{44100} << 16, 4) +
                                  mp4Atom("esds", version + stream);
  const std::string sampleTable =
      mp4Atom("stsd", version + bigEndian(1, 4) + mp4Atom("mp4a", sampleEntry)) +
      mp4Atom("stts", version + bigEndian(1, 4) + bigEndian(count, 4) + bigEndian(kMpegFrameSamples, 4)) +
      mp4Atom("stsc", version + bigEndian(1, 4) + bigEndian(1, 4) + bigEndian(count, 4) + bigEndian(1, 4)) +
      mp4Atom("stsz", version + bigEndian(kMpegFrameBytes, 4) + bigEndian(count, 4)) +
      mp4Atom("stco", version + bigEndian(1, 4) + bigEndian(mp4FileType().size() + 8, 4));
  const std::string mediaInformation =
      mp4Atom("smhd", version + bigEndian(0, 4)) +
      mp4Atom("dinf", mp4Atom("dref", version + bigEndian(1, 4) + mp4Atom("url ", bigEndian(1, 4)))) +
      mp4Atom("stbl", sampleTable);
  const std::string media = mp4Atom("mdhd", mediaHeader) + mp4Atom("hdlr", handler) +
                            mp4Atom("minf", mediaInformation);
  return head + mp4Atom("moov", mp4Atom("mvhd", movieHeader) +
                                    mp4Atom("trak", mp4Atom("tkhd", trackHeader) + mp4Atom("mdia", media)));
}

// Stereo 16-bit silence at 44.1 kHz in frames of 4096 samples, each channel
// one constant subframe, as minimalFlac's stream header announces.
std::string flacFrames(int seconds) {
  const auto crc = [](const std::string& data, int width, std::uint32_t polynomial) {
    std::uint32_t value = 0;
    const std::uint32_t top = 1U << (width - 1);
    const std::uint32_t mask = (top << 1) - 1;
    for (const char byte : data) {
      value ^= static_cast<std::uint32_t>(static_cast<unsigned char>(byte)) << (width - 8);
      for (int bit = 0; bit < 8; ++bit) value = ((value & top) != 0 ? (value << 1) ^ polynomial : value << 1) & mask;
    }
    return value;
  };
  std::string frames;
  for (int number = 0; number < seconds * 44100 / 4096; ++number) {
    // Fixed blocks of 4096 samples, 44.1 kHz, two channels, 16 bits; the
    // frame's number coded as UTF-8 codes a character.
    std::string frame("\xFF\xF8\xC9\x18", 4);
    frame += number < 0x80 ? bigEndian(number, 1) : bigEndian(0xC080 | ((number & 0x7C0) << 2) | (number & 0x3F), 2);
    frame += bigEndian(crc(frame, 8, 0x07), 1);
    frame += std::string(6, '\0');
    frames += frame + bigEndian(crc(frame, 16, 0x8005), 2);
  }
  return frames;
}

// A text of several values, as "\0" separates them in an entry's text.
TagLib::StringList values(const std::optional<std::string>& value) {
  TagLib::StringList list;
  if (!value) return list;
  for (std::size_t start = 0;;) {
    const std::size_t end = value->find('\0', start);
    list.append(text(value->substr(start, end - start)));
    if (end == std::string::npos) return list;
    start = end + 1;
  }
}

const char* mimeType(const std::optional<std::string>& picture) {
  return picture.value_or("").starts_with("\x89PNG") ? "image/png" : "image/jpeg";
}

void fillID3v2(TagLib::ID3v2::Tag& tag, const TagEntries& entries) {
  constexpr const char* kFrameIDs[] = {"TPE1", "TALB", "TIT2"};
  for (const TagEntry& entry : entries) {
    if (entry.field == TagField::artwork) {
      auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
      frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
      frame->setMimeType(mimeType(entry.value));
      frame->setPicture(bytes(entry.value.value_or("")));
      tag.addFrame(frame);
    } else {
      auto* frame = new TagLib::ID3v2::TextIdentificationFrame(kFrameIDs[int(entry.field)], TagLib::String::UTF8);
      if (entry.value) frame->setText(values(entry.value));
      tag.addFrame(frame);
    }
  }
}

std::string renderedID3v2(const TagEntries& entries, TagLib::ID3v2::Version version) {
  TagLib::ID3v2::Tag tag;
  fillID3v2(tag, entries);
  const TagLib::ByteVector rendered = tag.render(version);
  return std::string(rendered.data(), rendered.size());
}

std::string renderedID3v1(const TagEntries& entries) {
  TagLib::ID3v1::Tag tag;
  for (const TagEntry& entry : entries) {
    if (entry.field == TagField::artist) tag.setArtist(text(entry.value));
    if (entry.field == TagField::album) tag.setAlbum(text(entry.value));
    if (entry.field == TagField::title) tag.setTitle(text(entry.value));
  }
  const TagLib::ByteVector rendered = tag.render();
  return std::string(rendered.data(), rendered.size());
}

void writeWav(const fs::path& path, AudioFormat format, const TagEntries& entries) {
  writeFile(path, minimalWav());
  TagLib::RIFF::WAV::File file(path.c_str(), false);
  if (format == AudioFormat::wavID3v2) {
    fillID3v2(*file.ID3v2Tag(), entries);
    saved(file.save(TagLib::RIFF::WAV::File::ID3v2), path);
    return;
  }
  constexpr const char* kInfoIDs[] = {"IART", "IPRD", "INAM"};
  for (const TagEntry& entry : entries) {
    if (entry.field != TagField::artwork) file.InfoTag()->setFieldText(kInfoIDs[int(entry.field)], text(entry.value));
  }
  saved(file.save(TagLib::RIFF::WAV::File::Info), path);
}

void writeFlac(const fs::path& path, const TagEntries& entries) {
  writeFile(path, minimalFlac());
  TagLib::FLAC::File file(path.c_str(), false);
  constexpr const char* kCommentNames[] = {"ARTIST", "ALBUM", "TITLE"};
  for (const TagEntry& entry : entries) {
    if (entry.field == TagField::artwork) {
      auto* picture = new TagLib::FLAC::Picture;
      picture->setType(TagLib::FLAC::Picture::FrontCover);
      picture->setMimeType(mimeType(entry.value));
      picture->setData(bytes(entry.value.value_or("")));
      file.addPicture(picture);
    } else {
      for (const TagLib::String& value : values(entry.value)) {
        file.xiphComment(true)->addField(kCommentNames[int(entry.field)], value, false);
      }
    }
  }
  saved(file.save(), path);
}

void writeMp4(const fs::path& path, const TagEntries& entries, const std::string& untagged) {
  writeFile(path, untagged);
  TagLib::MP4::File file(path.c_str(), false);
  constexpr const char* kItemNames[] = {"\251ART", "\251alb", "\251nam"};
  TagLib::MP4::CoverArtList covers;
  for (const TagEntry& entry : entries) {
    if (entry.field == TagField::artwork) {
      const auto format = mimeType(entry.value) == std::string("image/png") ? TagLib::MP4::CoverArt::PNG
                                                                             : TagLib::MP4::CoverArt::JPEG;
      covers.append(TagLib::MP4::CoverArt(format, bytes(entry.value.value_or(""))));
    } else {
      file.tag()->setItem(kItemNames[int(entry.field)], entry.value ? values(entry.value) : TagLib::StringList(text(entry.value)));
    }
  }
  if (!covers.isEmpty()) file.tag()->setItem("covr", covers);
  saved(file.save(), path);
}

}  // namespace

TagEntries trackTags(const std::string& artist, const std::string& album, const std::string& title,
                     const std::optional<std::string>& picture) {
  TagEntries entries = {{TagField::artist, artist}, {TagField::album, album}, {TagField::title, title}};
  if (picture) entries.push_back({TagField::artwork, picture});
  return entries;
}

void writeTaggedAudio(const fs::path& path, AudioFormat format, const TagEntries& entries) {
  switch (format) {
    case AudioFormat::mp3ID3v23:
      return writeFile(path, renderedID3v2(entries, TagLib::ID3v2::v3) + mpegFrames());
    case AudioFormat::mp3ID3v24:
      return writeFile(path, renderedID3v2(entries, TagLib::ID3v2::v4) + mpegFrames());
    case AudioFormat::mp3ID3v1:
      return writeFile(path, mpegFrames() + renderedID3v1(entries));
    case AudioFormat::aac:
      return writeFile(path, renderedID3v2(entries, TagLib::ID3v2::v4) + adtsFrames());
    case AudioFormat::m4a:
      return writeMp4(path, entries, minimalMp4());
    case AudioFormat::flac:
      return writeFlac(path, entries);
    case AudioFormat::wavID3v2:
    case AudioFormat::wavInfo:
      return writeWav(path, format, entries);
  }
}

void writePlayableAudio(const fs::path& path, AudioFormat format, const TagEntries& entries, int seconds) {
  if (format == AudioFormat::m4a) return writeMp4(path, entries, seconds > 0 ? playableMp4(seconds) : minimalMp4());
  writeTaggedAudio(path, format, entries);
  const std::string frames = format == AudioFormat::flac ? flacFrames(seconds) : mpegSilence(seconds);
  std::ofstream(path, std::ios::binary | std::ios::app).write(frames.data(), static_cast<std::streamsize>(frames.size()));
}

std::string mpegSilence(int seconds) { return mpegFrames(seconds * 44100 / kMpegFrameSamples); }

namespace {

std::string encoded(const QImage& picture, const char* format, bool progressive = false) {
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setProgressiveScanWrite(progressive);
  writer.write(picture);
  return encoded.toStdString();
}

QImage threeColourPicture(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(Qt::red);
  QPainter painter(&picture);
  painter.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
  painter.fillRect(0, height * 3 / 4, width, height - height * 3 / 4, Qt::green);
  painter.end();
  return picture;
}

}  // namespace

std::string encodedPicture(int width, int height, const char* format) {
  return encoded(threeColourPicture(width, height), format);
}

std::string progressiveJpeg(int width, int height) { return encoded(threeColourPicture(width, height), "JPEG", true); }

std::string solidPicture(const char* colorName, const char* format) {
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(QColor::fromString(colorName));
  return encoded(picture, format);
}

void PrintTo(AudioFormat format, std::ostream* out) {
  static constexpr const char* names[] = {"mp3 ID3v2.3", "mp3 ID3v2.4", "mp3 ID3v1", "m4a",
                                          "flac",        "wav ID3v2",   "wav INFO",  "aac"};
  *out << names[static_cast<int>(format)];
}

}  // namespace sonvetta::testdata
