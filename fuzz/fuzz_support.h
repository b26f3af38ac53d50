#pragma once

#include <QtGlobal>

namespace sonvetta::fuzzing {

// The track every seed file is tagged with, and every fuzzed file is searched
// for, so that mutations of a seed reach the picture decoder.
inline constexpr const char* kArtist = "Artist";
inline constexpr const char* kAlbum = "Album";
inline constexpr const char* kTitle = "Title";

// Qt reports every damaged picture on standard error, which would drown the
// fuzzer's own output and slow it down.
inline void silenceQtMessages() {
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

}  // namespace sonvetta::fuzzing
