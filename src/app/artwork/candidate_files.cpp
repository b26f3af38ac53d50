#include "app/artwork/candidate_files.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/artwork/artwork_extraction.h"
#include "platform/text/unicode.h"

namespace sonvetta {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 5> kAudioFileExtensions = {"mp3", "m4a", "aac", "flac", "wav"};

// Enough to keep a few readers busy while the walk goes on; few enough that
// little is read in vain past the file that matches.
constexpr std::size_t kWindowSize = 64;

bool isAudioFileName(const fs::path& entry) {
  const std::string extension = entry.extension().string();
  if (extension.empty()) return false;
  return std::ranges::find(kAudioFileExtensions, platform::lowercased(extension.substr(1))) !=
         kAudioFileExtensions.end();
}

}  // namespace

CandidateFiles::CandidateFiles(platform::DirectoryWalk walk, TagMemo& memo)
    : walk_(std::move(walk)), memo_(memo), reading_(readTrackFingerprint) {}

std::optional<CandidateFiles::Candidate> CandidateFiles::next() {
  fillWindow();
  if (window_.empty()) return std::nullopt;
  Ahead first = std::move(window_.front());
  window_.pop_front();
  if (first.recalled) return Candidate{std::move(first.file), *first.recalled};

  const TrackFingerprint read = reading_.take();
  if (first.stamp) memo_.remember(first.file, *first.stamp, read);
  return Candidate{std::move(first.file), read};
}

// The stamp is taken before the file is read, so that a change made while it
// is being read shows as a new stamp next time.
void CandidateFiles::fillWindow() {
  while (window_.size() < kWindowSize) {
    std::optional<fs::path> entry = walk_.next();
    if (!entry) return;
    if (!isAudioFileName(*entry)) continue;
    std::optional<platform::FileStamp> stamp = platform::FileStamp::of(*entry);
    std::optional<TrackFingerprint> recalled = stamp ? memo_.recall(*entry, *stamp) : std::nullopt;
    if (!recalled) reading_.push(*entry);
    window_.push_back({std::move(*entry), stamp, recalled});
  }
}

}  // namespace sonvetta
