#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The few tag fields that every audio format has in some form, under one
// name each, so that callers need not know the formats.
enum class CommonKey { none, artist, albumName, title, artwork };

// Bytes that keep alive the buffer they were read into. A picture is as large
// as the rest of a file together, and most files turn out not to be wanted,
// so it is handed on without being copied.
class SharedBytes {
 public:
  SharedBytes(std::shared_ptr<const void> owner, std::span<const std::byte> bytes)
      : owner_(std::move(owner)), bytes_(bytes) {}

  const std::byte* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  const std::byte* begin() const { return bytes_.data(); }
  const std::byte* end() const { return bytes_.data() + bytes_.size(); }

 private:
  std::shared_ptr<const void> owner_;
  std::span<const std::byte> bytes_;
};

struct MetadataItem {
  CommonKey commonKey = CommonKey::none;
  // UTF-8, one for each value of the entry: taggers write two artists as two
  // values of one entry. None for an entry that holds no text.
  std::vector<std::string> stringValues;
  std::optional<SharedBytes> dataValue;
};

// The common metadata items of one audio file, in the order of its tag; empty
// when the file cannot be read, is of no known type or carries no tag.
// Only the tag is read, never the audio.
std::vector<MetadataItem> commonMetadata(const std::filesystem::path& file);

// The same, or none when the file could not be read through: it could not be
// opened, or a read failed or came back short (an I/O error, a file cut while
// it was read). Unlike an empty list, none says nothing about the file's tags.
std::optional<std::vector<MetadataItem>> readCommonMetadata(const std::filesystem::path& file);

}  // namespace platform
