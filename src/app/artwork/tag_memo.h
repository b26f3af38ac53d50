#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>

#include "app/artwork/track_fingerprint.h"
#include "platform/files/file_stamp.h"

namespace sonvetta {

// What each audio file of the library said about its track when it was last
// read, for as long as the file keeps the stamp it had then, so that a search
// reads again only the files that changed. Kept in memory only, for the life
// of the process: about 130 bytes a file besides its path.
class TagMemo {
 public:
  // Begins a walk of the library: files met from now on count as still there.
  void startWalk();

  // Whether `file` has been read, whatever its stamp then.
  bool knows(const std::filesystem::path& file) const { return entries_.contains(file.native()); }

  // What `file` said, if it was read when it had `stamp`.
  std::optional<TrackFingerprint> recall(const std::filesystem::path& file, const platform::FileStamp& stamp);

  // Notes what `file`, read after `stamp` was taken, said. A file that had
  // changed too recently, when the stamp was taken, for its next change to
  // show in its stamp is forgotten instead.
  void remember(const std::filesystem::path& file, const platform::FileStamp& stamp, TrackFingerprint fingerprint);

  // Ends a walk that went through the whole library: files it did not meet
  // are gone, and forgotten.
  void forgetFilesNotMet();

  // Forgets every file below `folder`, which is searched some other way.
  void forgetBelow(const std::filesystem::path& folder);

  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    platform::FileStamp stamp;
    TrackFingerprint fingerprint;
    std::uint32_t lastWalk;
  };

  std::unordered_map<std::string, Entry> entries_;
  std::uint32_t walk_ = 0;
};

}  // namespace sonvetta
