#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The few tag fields that every audio format has in some form, under one
// name each, so that callers need not know the formats.
enum class CommonKey { none, artist, albumName, title, artwork };

struct MetadataItem {
  CommonKey commonKey = CommonKey::none;
  std::optional<std::string> stringValue;  // UTF-8
  std::optional<std::vector<std::byte>> dataValue;
};

// The common metadata items of one audio file, in the order of its tag; empty
// when the file cannot be read, is of no known type or carries no tag.
// Only the tag is read, never the audio.
std::vector<MetadataItem> commonMetadata(const std::filesystem::path& file);

}  // namespace platform
