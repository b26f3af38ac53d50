#include "app/artwork/tag_memo.h"

namespace sonvetta {

void TagMemo::startWalk() { ++walk_; }

std::optional<TrackFingerprint> TagMemo::recall(const std::filesystem::path& file, const platform::FileStamp& stamp) {
  const auto found = entries_.find(file.native());
  if (found == entries_.end() || found->second.stamp != stamp) return std::nullopt;
  found->second.lastWalk = walk_;
  return found->second.fingerprint;
}

void TagMemo::remember(const std::filesystem::path& file, const platform::FileStamp& stamp,
                       TrackFingerprint fingerprint) {
  if (!stamp.isSettled()) {
    entries_.erase(file.native());
    return;
  }
  entries_.insert_or_assign(file.native(), Entry{stamp, fingerprint, walk_});
}

void TagMemo::forgetFilesNotMet() {
  std::erase_if(entries_, [this](const auto& entry) { return entry.second.lastWalk != walk_; });
}

void TagMemo::forgetBelow(const std::filesystem::path& folder) {
  const std::string prefix = folder.native() + "/";
  std::erase_if(entries_, [&prefix](const auto& entry) { return entry.first.starts_with(prefix); });
}

}  // namespace sonvetta
