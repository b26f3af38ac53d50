#pragma once

#include <string>
#include <string_view>

// Unicode operations on UTF-8 text, done by ICU.
namespace platform {

// The locale-independent Unicode lowercase mapping of the whole string.
std::string lowercased(std::string_view text);

// True when the two texts are equal under Unicode canonical equivalence:
// a precomposed letter equals its base letter followed by the combining mark.
bool canonicallyEqual(std::string_view a, std::string_view b);

// True when the texts are canonically equal once both are lowercased.
bool equalIgnoringCase(std::string_view a, std::string_view b);

// The text lowercased and canonically decomposed: two texts are equal ignoring
// case exactly when these forms of them are equal byte for byte.
std::string foldedForComparison(std::string_view text);

}  // namespace platform
