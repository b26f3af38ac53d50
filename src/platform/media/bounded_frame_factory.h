#pragma once

#include <taglib/id3v2framefactory.h>

namespace platform {

// Makes the frames of ID3v2 tags with no more work than the size of the tag
// bounds. TagLib 1.13 parses the frames that chapters (CHAP) and tables of
// contents (CTOC) embed by recursion, without a limit, so that a tag of a
// few thousand chapters nested in one another overflows the stack; and it
// inflates a compressed frame whole, whatever size it declares, so that one
// megabyte of tag becomes a gigabyte of memory. This factory leaves such
// frames unparsed, as unknown frames. Neither kind holds anything read here:
// chapters never do, and taggers do not compress text or pictures.
class BoundedFrameFactory final : public TagLib::ID3v2::FrameFactory {
 public:
  static BoundedFrameFactory* instance();

 protected:
  // TagLib keeps the name of the frame header protected within its frames,
  // out of reach here; the type is taken from the function overridden.
  template <typename> struct ParameterOf;
  template <typename Argument>
  struct ParameterOf<bool (FrameFactory::*)(Argument) const> {
    using Type = Argument;
  };
  using FrameHeader = ParameterOf<decltype(&BoundedFrameFactory::updateFrame)>::Type;

  bool updateFrame(FrameHeader header) const override;
};

}  // namespace platform
