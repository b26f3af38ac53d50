#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <optional>

#include "app/artwork/tag_memo.h"
#include "app/artwork/track_fingerprint.h"
#include "platform/files/directory_walk.h"
#include "platform/files/file_stamp.h"
#include "platform/files/read_ahead.h"

namespace sonvetta {

// The audio files (mp3, m4a, aac, flac, wav; in any letter case) below one
// library root, in the order of the walk, each with what its tags say about
// its track: recalled when the file is unchanged since it was last read, else
// read now, on the machine's other cores a little ahead of the walk.
//
// Only the name makes a candidate: a folder named like an audio file is one
// too, and simply has no tags.
class CandidateFiles {
 public:
  struct Candidate {
    std::filesystem::path file;
    TrackFingerprint fingerprint;
  };

  CandidateFiles(platform::DirectoryWalk walk, TagMemo& memo);

  // The next candidate, or none once the walk is over. Files read ahead but
  // never asked for are forgotten when this ends.
  std::optional<Candidate> next();

 private:
  struct Ahead {
    std::filesystem::path file;
    std::optional<platform::FileStamp> stamp;  // none when the file could not be looked at
    std::optional<TrackFingerprint> recalled;  // none when it is being read
  };

  void fillWindow();

  platform::DirectoryWalk walk_;
  TagMemo& memo_;
  std::deque<Ahead> window_;
  // Last, so that its readers stop before the rest goes.
  platform::ReadAhead<TrackFingerprint> reading_;
};

}  // namespace sonvetta
