#include "platform/text/unicode.h"

#include <algorithm>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace platform {

namespace {

// Most texts are plain ASCII, and between two of them the Unicode lowercase
// mapping is ASCII's and canonical equivalence is byte equality, so ICU is
// needed only when a text goes beyond ASCII.
bool isAscii(std::string_view text) {
  return std::ranges::all_of(text, [](unsigned char c) { return c < 0x80; });
}

char asciiLowercased(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowercasedAscii(std::string_view text) {
  std::string result(text);
  std::ranges::transform(result, result.begin(), [](char c) { return asciiLowercased(c); });
  return result;
}

icu::UnicodeString fromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

icu::UnicodeString decomposed(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  icu::UnicodeString source = fromUtf8(text);
  if (U_FAILURE(status)) return source;
  icu::UnicodeString result = nfd->normalize(source, status);
  return U_SUCCESS(status) ? result : source;
}

}  // namespace

std::string lowercased(std::string_view text) {
  if (isAscii(text)) return lowercasedAscii(text);
  std::string result;
  fromUtf8(text).toLower(icu::Locale::getRoot()).toUTF8String(result);
  return result;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isAscii(a) && isAscii(b)) return false;
  return decomposed(a) == decomposed(b);
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) return std::ranges::equal(a, b, {}, asciiLowercased, asciiLowercased);
  return foldedForComparison(a) == foldedForComparison(b);
}

std::string foldedForComparison(std::string_view text) {
  if (isAscii(text)) return lowercasedAscii(text);
  std::string result;
  decomposed(lowercased(text)).toUTF8String(result);
  return result;
}

}  // namespace platform
