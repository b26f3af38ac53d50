#include "platform/media/common_metadata.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>

#include <fstream>
#include <iterator>

#include "hostile_files.h"
#include "tagged_audio.h"

namespace {

using platform::CommonKey;
using platform::MetadataItem;
using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::TagEntries;
using sonvetta::testdata::TagField;
using testing::ElementsAre;
using testing::IsEmpty;

namespace fs = std::filesystem;

// Items as "key=value" strings ("key=value|value" for several values), so
// that whole lists compare readably.
std::vector<std::string> describe(const std::vector<MetadataItem>& items) {
  std::vector<std::string> described;
  for (const MetadataItem& item : items) {
    static const char* const kKeyNames[] = {"none", "artist", "album", "title", "artwork"};
    std::string line = kKeyNames[static_cast<int>(item.commonKey)];
    // Appended piece by piece: GCC 12 at -O3 takes `"=" + string` for an
    // overlapping copy (-Wrestrict).
    for (std::size_t i = 0; i < item.stringValues.size(); ++i) {
      line.append(i == 0 ? "=" : "|").append(item.stringValues[i]);
    }
    if (item.dataValue) line.append("=").append(std::to_string(item.dataValue->size())).append(" bytes");
    described.push_back(line);
  }
  return described;
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

struct FormatCase {
  AudioFormat format;
  const char* fileName;
  bool carriesPictures;
};

void PrintTo(const FormatCase& formatCase, std::ostream* out) {
  PrintTo(formatCase.format, out);
  *out << " in " << formatCase.fileName;
}

class EveryFormat : public testing::TestWithParam<FormatCase> {
 protected:
  QTemporaryDir temporaryFolder_;
  const std::filesystem::path folder_{temporaryFolder_.path().toStdString()};
};

TEST_P(EveryFormat, GivesArtistAlbumTitleAndPictureBytes) {
  const fs::path file = folder_ / GetParam().fileName;
  const std::string jpeg = sonvetta::testdata::encodedPicture(40, 20, "JPEG");
  sonvetta::testdata::writeTaggedAudio(file, GetParam().format,
                                       sonvetta::testdata::trackTags("Ärtist", "Album", "Title", jpeg));

  const std::vector<MetadataItem> items = platform::commonMetadata(file);

  std::vector<std::string> expected = {"artist=Ärtist", "album=Album", "title=Title"};
  if (GetParam().carriesPictures) expected.push_back("artwork=" + std::to_string(jpeg.size()) + " bytes");
  EXPECT_EQ(describe(items), expected);
  if (GetParam().carriesPictures) {
    const auto& data = *items.back().dataValue;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()), data.size()), jpeg);
  }
}

// Cut short or overwritten anywhere, a file gives what TagLib can still make
// of it, and never more than the whole file gave.
TEST_P(EveryFormat, DamagedFilesAreReadSafely) {
  const fs::path file = folder_ / GetParam().fileName;
  sonvetta::testdata::writeTaggedAudio(
      file, GetParam().format,
      sonvetta::testdata::trackTags("A", "B", "C", sonvetta::testdata::solidPicture("red", "PNG")));
  const std::string whole = readAll(file);
  const std::size_t wholeCount = platform::commonMetadata(file).size();

  for (std::size_t length = 0; length < whole.size(); length += 5) {
    writeAll(file, whole.substr(0, length));
    EXPECT_LE(platform::commonMetadata(file).size(), wholeCount) << "cut at " << length;
  }
  for (std::size_t at = 0; at < whole.size(); at += 3) {
    std::string damaged = whole;
    damaged[at] = static_cast<char>(~damaged[at]);
    writeAll(file, damaged);
    platform::commonMetadata(file);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EveryFormat,
    testing::Values(FormatCase{AudioFormat::mp3ID3v23, "a.mp3", true}, FormatCase{AudioFormat::mp3ID3v24, "a.MP3", true},
                    FormatCase{AudioFormat::mp3ID3v1, "a.mp3", false}, FormatCase{AudioFormat::m4a, "a.m4a", true},
                    FormatCase{AudioFormat::flac, "a.flac", true}, FormatCase{AudioFormat::wavID3v2, "a.wav", true},
                    FormatCase{AudioFormat::wavInfo, "a.wav", false}, FormatCase{AudioFormat::aac, "a.aac", true}));

class CommonMetadata : public testing::Test {
 protected:
  fs::path write(const char* name, AudioFormat format, const TagEntries& entries) {
    const fs::path file = folder_ / name;
    sonvetta::testdata::writeTaggedAudio(file, format, entries);
    return file;
  }

  QTemporaryDir temporaryFolder_;
  const std::filesystem::path folder_{temporaryFolder_.path().toStdString()};
};

TEST_F(CommonMetadata, RepeatedEntriesKeepTheirOrderAndEmptyTextHasNoValue) {
  const std::string png = sonvetta::testdata::solidPicture("red", "PNG");
  const std::string jpeg = sonvetta::testdata::solidPicture("blue", "JPEG");
  const TagEntries entries = {{TagField::artist, "First"}, {TagField::artwork, png},   {TagField::artist, "Second"},
                              {TagField::artwork, jpeg},   {TagField::title, std::nullopt}};
  const std::string pngItem = "artwork=" + std::to_string(png.size()) + " bytes";
  const std::string jpegItem = "artwork=" + std::to_string(jpeg.size()) + " bytes";

  EXPECT_THAT(describe(platform::commonMetadata(write("a.mp3", AudioFormat::mp3ID3v24, entries))),
              ElementsAre("artist=First", pngItem, "artist=Second", jpegItem, "title"));
  EXPECT_THAT(describe(platform::commonMetadata(write("a.flac", AudioFormat::flac, entries))),
              ElementsAre("artist=First|Second", pngItem, jpegItem));  // TagLib drops empty comments
  EXPECT_THAT(describe(platform::commonMetadata(write("a.m4a", AudioFormat::m4a, entries))),
              ElementsAre("artist=Second", "title=", pngItem, jpegItem));
}

// Taggers that append write several atoms of one name; as in every other
// format, the last of each is the one that counts.
TEST_F(CommonMetadata, OfRepeatedMp4AtomsTheLastOfEachNameIsRead) {
  const std::string png = sonvetta::testdata::solidPicture("red", "PNG");
  const std::string jpeg = sonvetta::testdata::solidPicture("blue", "JPEG");
  writeAll(folder_ / "a.m4a", sonvetta::testdata::mp4WithRepeatedItems(png, jpeg));

  EXPECT_THAT(describe(platform::commonMetadata(folder_ / "a.m4a")),
              testing::UnorderedElementsAre("artist=Last Artist", "album=Album", "title=Second",
                                            "artwork=" + std::to_string(jpeg.size()) + " bytes"));
}

// A cover that declares gigabytes of a sparse file is not read at all; the
// rest of the tag is.
TEST_F(CommonMetadata, ACoverOfGigabytesIsLeftUnread) {
  const fs::path file = folder_ / "huge.m4a";
  writeAll(file, sonvetta::testdata::mp4WithHugeCover());
  std::error_code error;
  fs::resize_file(file, std::uintmax_t{6} << 30, error);
  if (error) GTEST_SKIP() << "the temporary folder cannot hold a sparse file of 6 GiB: " << error.message();

  EXPECT_THAT(describe(platform::commonMetadata(file)), ElementsAre("title=Title"));
}

TEST_F(CommonMetadata, Id3v2TagOutranksId3v1Tag) {
  const fs::path both = write("both.mp3", AudioFormat::mp3ID3v24, {{TagField::title, "From ID3v2"}});
  const fs::path v1 = write("v1.mp3", AudioFormat::mp3ID3v1, {{TagField::title, "From ID3v1"}});
  std::ofstream(both, std::ios::binary | std::ios::app) << readAll(v1).substr(readAll(v1).size() - 128);

  EXPECT_THAT(describe(platform::commonMetadata(both)), ElementsAre("title=From ID3v2"));
}

TEST_F(CommonMetadata, OnlyRegularFilesOfKnownTypesAreRead) {
  const TagEntries tags = sonvetta::testdata::trackTags("A", "B", "C");
  write("song.ogg", AudioFormat::mp3ID3v24, tags);
  fs::create_directory(folder_ / "folder.mp3");
  ASSERT_EQ(mkfifo((folder_ / "pipe.mp3").c_str(), 0600), 0);
  writeAll(folder_ / "noise.mp3", std::string(3000, '\xFF'));

  EXPECT_THAT(platform::commonMetadata(folder_ / "song.ogg"), IsEmpty());
  EXPECT_THAT(platform::commonMetadata(folder_ / "missing.mp3"), IsEmpty());
  EXPECT_THAT(platform::commonMetadata(folder_ / "folder.mp3"), IsEmpty());
  EXPECT_THAT(platform::commonMetadata(folder_ / "pipe.mp3"), IsEmpty());
  EXPECT_THAT(platform::commonMetadata(folder_ / "noise.mp3"), IsEmpty());
}

// Sizes that overflow a file position, and nesting that overflows TagLib's
// stack: once an endless loop and two crashes.
TEST_F(CommonMetadata, MalformedMp4FilesEndAndGiveNothing) {
  const std::pair<const char*, std::string> files[] = {
      {"overflowing.m4a", sonvetta::testdata::mp4WithOverflowingAtom()},
      {"overflowing-in-container.m4a", sonvetta::testdata::mp4WithOverflowingAtomInContainer()},
      {"deeply-nested.m4a", sonvetta::testdata::mp4WithNestedAtoms(100'000)}};
  for (const auto& [name, content] : files) {
    writeAll(folder_ / name, content);
    EXPECT_THAT(platform::commonMetadata(folder_ / name), IsEmpty()) << name;
  }
}

// Chapters nested in one another once overflowed TagLib's stack, and a
// compressed frame of a few bytes filled memory: such frames are left unread,
// and the rest of the tag is read as usual.
TEST_F(CommonMetadata, NestedChaptersAndCompressedFramesAreLeftUnread) {
  const std::string chapters = sonvetta::testdata::id3v2WithNestedChapters(50'000);
  const std::string compressed = sonvetta::testdata::id3v2WithCompressedPicture("A", "B", "C", 1 << 24);
  for (const char* name : {"a.mp3", "a.aac"}) {
    writeAll(folder_ / name, chapters);
    EXPECT_THAT(describe(platform::commonMetadata(folder_ / name)), ElementsAre("title=Chapters")) << name;
    writeAll(folder_ / name, compressed);
    EXPECT_THAT(describe(platform::commonMetadata(folder_ / name)), ElementsAre("artist=A", "album=B", "title=C"))
        << name;
  }
}

}  // namespace
