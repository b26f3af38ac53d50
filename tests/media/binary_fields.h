#pragma once

#include <cstdint>
#include <string>

// Numbers and boxes as the binary formats of audio files and pictures spell
// them, for tests that write such files by hand.
namespace sonvetta::testdata {

inline std::string bigEndian(std::uint64_t value, int byteCount) {
  std::string result;
  for (int shift = 8 * (byteCount - 1); shift >= 0; shift -= 8) result += static_cast<char>((value >> shift) & 0xFF);
  return result;
}

// An MP4 atom with a 32-bit size.
inline std::string mp4Atom(const std::string& type, const std::string& content) {
  return bigEndian(8 + content.size(), 4) + type + content;
}

}  // namespace sonvetta::testdata
