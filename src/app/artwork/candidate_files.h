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

// Whether the walk's entry `entry` is named like an audio file: mp3, m4a,
// aac, flac or wav, in any letter case.
bool isAudioFileName(const std::filesystem::path& entry);

// The audio files (mp3, m4a, aac, flac, wav; in any letter case) below one
// library root, in the order of the walk, each with what its tags say about
// its track: recalled when the file is unchanged since it was last read, else
// read now. Files the memo does not know are read on the machine's other
// cores a little ahead of the walk, as far as the folders already read
// reach: this thread itself touches no file and enters no folder before the
// walk comes to it, and never waits for a file it has not come to.
//
// Only the name makes a candidate: a folder named like an audio file is one
// too, and simply has no tags.
class CandidateFiles {
 public:
  struct Candidate {
    std::filesystem::path file;
    // None when the file could not be read through: only reading it again tells.
    std::optional<TrackFingerprint> fingerprint;
  };

  CandidateFiles(platform::DirectoryWalk walk, TagMemo& memo);

  // The next candidate, or none once the walk is over. Files read ahead but
  // never asked for are forgotten when this ends.
  std::optional<Candidate> next();

 private:
  struct Reading {
    std::optional<platform::FileStamp> stamp;  // taken before the read, so that a change during it shows next time
    std::optional<TrackFingerprint> fingerprint;
  };
  struct Ahead {
    std::filesystem::path file;
    bool readAhead;  // else the memo knows it
  };

  static Reading read(const std::filesystem::path& file);
  void fillWindow();

  platform::DirectoryWalk walk_;
  TagMemo& memo_;
  std::deque<Ahead> window_;
  platform::ReadAhead<Reading> reading_;
};

}  // namespace sonvetta
