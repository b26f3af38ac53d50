#include "platform/media/common_metadata.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/rifffile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/xiphcomment.h>

#include "platform/media/bounded_frame_factory.h"
#include "platform/media/mp4_atom_layout.h"
#include "platform/media/read_only_file_stream.h"
#include "platform/media/taglib_versions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

// How each format's tag maps onto the common keys. One item is made for each
// entry of the tag (a frame, an atom value list, a comment, a picture block),
// so that several entries of one key keep their order and the last one wins.
//
//   ID3v2 (mp3, wav, aac)   TPE1 artist, TALB album, TIT2 title, every APIC
//                           artwork; in frame order. TagLib reads 2.2 frames
//                           under their 2.3/2.4 names.
//   ID3v1 (mp3 without ID3v2)   artist, album, title; a blank field is no item.
//   MP4 (m4a)               ©ART artist, ©alb album, ©nam title, every picture
//                           of covr; of several atoms of one name, the last.
//   Vorbis comments (flac)  ARTIST, ALBUM, TITLE (a repeated comment is one
//                           item of several values), and every picture block.
//   RIFF INFO (wav without ID3v2)   IART artist, IPRD album, INAM title.
//
// TagLib keeps MP4 items, Vorbis comments and INFO fields keyed by name, so
// their order across keys is lost; the order within a key, which is all the
// last-one-wins rule looks at, is kept. A text entry that holds no text gives
// an item without string values.
//
// The several values of one entry (an ID3v2.4 frame's, an MP4 atom's, a
// repeated Vorbis comment's) are kept apart, in every TagLib version: players
// name a track of two artists in several ways, each made of those values.
namespace platform {

namespace {

using Items = std::vector<MetadataItem>;

void appendText(Items& items, CommonKey key, const TagLib::StringList& values) {
  std::vector<std::string> texts;
  texts.reserve(values.size());
  for (const TagLib::String& value : values) texts.push_back(value.to8Bit(true));
  items.push_back({key, std::move(texts), std::nullopt});
}

// TagLib's buffers are reference-counted and outlive the file they came from.
void appendPicture(Items& items, const TagLib::ByteVector& data) {
  auto shared = std::make_shared<const TagLib::ByteVector>(data);
  const std::span bytes(reinterpret_cast<const std::byte*>(shared->data()), shared->size());
  items.push_back({CommonKey::artwork, {}, SharedBytes(std::move(shared), bytes)});
}

std::optional<CommonKey> id3v2TextKey(const TagLib::ByteVector& frameID) {
  if (frameID == "TPE1") return CommonKey::artist;
  if (frameID == "TALB") return CommonKey::albumName;
  if (frameID == "TIT2") return CommonKey::title;
  return std::nullopt;
}

void appendID3v2(Items& items, const TagLib::ID3v2::Tag& tag) {
  for (const TagLib::ID3v2::Frame* frame : tag.frameList()) {
    if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
      appendPicture(items, picture->picture());
    } else if (const auto key = id3v2TextKey(frame->frameID())) {
      const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame);
      appendText(items, *key, text ? text->fieldList() : TagLib::StringList());
    }
  }
}

void appendID3v1Field(Items& items, CommonKey key, const TagLib::String& value) {
  if (!value.isEmpty()) appendText(items, key, TagLib::StringList(value));
}

void appendID3v1(Items& items, const TagLib::ID3v1::Tag& tag) {
  appendID3v1Field(items, CommonKey::artist, tag.artist());
  appendID3v1Field(items, CommonKey::albumName, tag.album());
  appendID3v1Field(items, CommonKey::title, tag.title());
}

void readMpeg(Items& items, TagLib::IOStream& stream) {
  auto file = taglib::fileWithFrameFactory<TagLib::MPEG::File>(stream, BoundedFrameFactory::instance());
  if (!file.isValid()) return;
  if (file.hasID3v2Tag()) {
    appendID3v2(items, *file.ID3v2Tag());
  } else if (file.hasID3v1Tag()) {
    appendID3v1(items, *file.ID3v1Tag());
  }
}

void appendMp4Text(Items& items, CommonKey key, const TagLib::MP4::Tag& tag, const char* name) {
  if (tag.contains(name)) appendText(items, key, tag.item(name).toStringList());
}

// TagLib keeps the first atom of a name and drops the later ones, where the
// last item of a key wins on every other format. The earlier atoms of the
// names read here are shown to it as free space, so that it keeps the last.
void hideEarlierDuplicates(ReadOnlyFileStream& stream, const std::vector<Mp4ItemAtom>& items) {
  constexpr std::array<const char*, 4> kNames = {"\251ART", "\251alb", "\251nam", "covr"};
  std::array<bool, kNames.size()> laterSeen{};
  std::vector<taglib::Offset> hidden;
  for (auto item = items.rbegin(); item != items.rend(); ++item) {
    const auto name = std::ranges::find_if(kNames, [&item](const char* name) { return item->name == name; });
    if (name == kNames.end()) continue;
    bool& seen = laterSeen[static_cast<std::size_t>(name - kNames.begin())];
    if (seen) hidden.push_back(item->offset + 4);
    seen = true;
  }
  std::ranges::reverse(hidden);
  for (const taglib::Offset name : hidden) stream.overlay(name, {'f', 'r', 'e', 'e'});
}

void readMp4(Items& items, ReadOnlyFileStream& stream) {
  const Mp4AtomLayout layout = readMp4AtomLayout(stream);
  if (!layout.nestingIsShallow) return;
  hideEarlierDuplicates(stream, layout.tagItems);
  TagLib::MP4::File file(&stream, false);
  if (!file.isValid() || !file.hasMP4Tag()) return;
  const TagLib::MP4::Tag& tag = *file.tag();
  appendMp4Text(items, CommonKey::artist, tag, "\251ART");
  appendMp4Text(items, CommonKey::albumName, tag, "\251alb");
  appendMp4Text(items, CommonKey::title, tag, "\251nam");
  if (tag.contains("covr")) {
    for (const TagLib::MP4::CoverArt& cover : tag.item("covr").toCoverArtList()) appendPicture(items, cover.data());
  }
}

void appendVorbisText(Items& items, CommonKey key, const TagLib::Ogg::FieldListMap& fields, const char* name) {
  const auto values = fields.find(name);
  if (values != fields.end()) appendText(items, key, values->second);
}

void readFlac(Items& items, TagLib::IOStream& stream) {
  auto file = taglib::fileWithFrameFactory<TagLib::FLAC::File>(stream, BoundedFrameFactory::instance());
  if (!file.isValid()) return;
  if (file.hasXiphComment()) {
    const TagLib::Ogg::FieldListMap& fields = file.xiphComment()->fieldListMap();
    appendVorbisText(items, CommonKey::artist, fields, "ARTIST");
    appendVorbisText(items, CommonKey::albumName, fields, "ALBUM");
    appendVorbisText(items, CommonKey::title, fields, "TITLE");
  }
  for (const TagLib::FLAC::Picture* picture : file.pictureList()) appendPicture(items, picture->data());
}

void appendInfoText(Items& items, CommonKey key, const TagLib::RIFF::Info::FieldListMap& fields, const char* id) {
  const auto value = fields.find(id);
  if (value != fields.end()) appendText(items, key, TagLib::StringList(value->second));
}

// TagLib's WAV file reads its ID3v2 chunk with the default frame factory, so
// the chunks are found by its RIFF file and read here, as the WAV file does:
// the first ID3v2 chunk, and the first LIST chunk of INFO fields.
class RiffChunks final : public TagLib::RIFF::File {
 public:
  explicit RiffChunks(TagLib::IOStream& stream) : TagLib::RIFF::File(&stream, LittleEndian) {}

  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }

  std::optional<unsigned int> firstID3v2Chunk() const {
    for (unsigned int i = 0; i < chunkCount(); ++i) {
      if (chunkName(i) == "ID3 " || chunkName(i) == "id3 ") return i;
    }
    return std::nullopt;
  }

  std::optional<TagLib::ByteVector> firstInfoList() {
    for (unsigned int i = 0; i < chunkCount(); ++i) {
      if (chunkName(i) != "LIST") continue;
      TagLib::ByteVector data = chunkData(i);
      if (data.startsWith("INFO")) return data;
    }
    return std::nullopt;
  }

  using TagLib::RIFF::File::chunkOffset;
};

void readWav(Items& items, TagLib::IOStream& stream) {
  RiffChunks file(stream);
  if (!file.isValid()) return;
  if (const std::optional<unsigned int> chunk = file.firstID3v2Chunk()) {
    appendID3v2(items, TagLib::ID3v2::Tag(&file, file.chunkOffset(*chunk), BoundedFrameFactory::instance()));
  } else if (const std::optional<TagLib::ByteVector> list = file.firstInfoList()) {
    const TagLib::RIFF::Info::FieldListMap fields = TagLib::RIFF::Info::Tag(*list).fieldListMap();
    appendInfoText(items, CommonKey::artist, fields, "IART");
    appendInfoText(items, CommonKey::albumName, fields, "IPRD");
    appendInfoText(items, CommonKey::title, fields, "INAM");
  }
}

// TagLib has no type for raw ADTS streams, so their leading ID3v2 tag is read
// through a file that knows no format at all.
class UntypedFile final : public TagLib::File {
 public:
  explicit UntypedFile(TagLib::IOStream& stream) : TagLib::File(&stream) {}

  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }
};

void readAdts(Items& items, TagLib::IOStream& stream) {
  UntypedFile file(stream);
  if (!file.isOpen()) return;
  appendID3v2(items, TagLib::ID3v2::Tag(&file, 0, BoundedFrameFactory::instance()));
}

std::string lowercaseExtension(const std::filesystem::path& file) {
  std::string extension = file.extension().string();
  std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return extension;
}

}  // namespace

std::vector<MetadataItem> commonMetadata(const std::filesystem::path& file) {
  return readCommonMetadata(file).value_or(std::vector<MetadataItem>());
}

std::optional<std::vector<MetadataItem>> readCommonMetadata(const std::filesystem::path& file) {
  ReadOnlyFileStream stream(file);
  if (stream.failed()) return std::nullopt;
  if (!stream.isOpen()) return std::vector<MetadataItem>();

  // The type follows the extension, as the library's files are named by the
  // programs that wrote them.
  Items items;
  const std::string extension = lowercaseExtension(file);
  if (extension == ".mp3") {
    readMpeg(items, stream);
  } else if (extension == ".m4a") {
    readMp4(items, stream);
  } else if (extension == ".flac") {
    readFlac(items, stream);
  } else if (extension == ".wav") {
    readWav(items, stream);
  } else if (extension == ".aac") {
    readAdts(items, stream);
  }
  if (stream.failed()) return std::nullopt;
  return items;
}

}  // namespace platform
