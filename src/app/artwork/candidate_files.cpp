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

}  // namespace

bool isAudioFileName(const fs::path& entry) {
  const std::string extension = entry.extension().string();
  if (extension.empty()) return false;
  return std::ranges::find(kAudioFileExtensions, platform::lowercased(extension.substr(1))) !=
         kAudioFileExtensions.end();
}

CandidateFiles::CandidateFiles(platform::DirectoryWalk walk, TagMemo& memo)
    : walk_(std::move(walk)), memo_(memo), reading_(read) {}

CandidateFiles::Reading CandidateFiles::read(const fs::path& file) {
  std::optional<platform::FileStamp> stamp = platform::FileStamp::of(file);
  return {stamp, readTrackFingerprint(file)};
}

std::optional<CandidateFiles::Candidate> CandidateFiles::next() {
  fillWindow();
  if (window_.empty()) return std::nullopt;
  Ahead first = std::move(window_.front());
  window_.pop_front();

  Reading reading;
  if (first.readAhead) {
    reading = reading_.take();
  } else {
    reading.stamp = platform::FileStamp::of(first.file);
    if (reading.stamp) {
      if (std::optional<TrackFingerprint> recalled = memo_.recall(first.file, *reading.stamp)) {
        return Candidate{std::move(first.file), recalled};
      }
    }
    reading.fingerprint = readTrackFingerprint(first.file);
  }
  // A read that failed says nothing about the file, however its stamp stays.
  if (reading.stamp && reading.fingerprint) memo_.remember(first.file, *reading.stamp, *reading.fingerprint);
  return Candidate{std::move(first.file), reading.fingerprint};
}

void CandidateFiles::fillWindow() {
  while (window_.size() < kWindowSize && (window_.empty() || !walk_.nextReadsAFolder())) {
    std::optional<fs::path> entry = walk_.next();
    if (!entry) return;
    if (!isAudioFileName(*entry)) continue;
    const bool readAhead = !memo_.knows(*entry);
    if (readAhead) reading_.push(*entry);
    window_.push_back({std::move(*entry), readAhead});
  }
}

}  // namespace sonvetta
