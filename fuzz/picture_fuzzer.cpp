// One embedded picture, decoded and scaled to the square of the status item.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/image/image_decoding.h"
#include "platform/image/image_scaling.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sonvetta::fuzzing::silenceQtMessages();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const platform::ImageRef picture = platform::decodeImage(std::as_bytes(std::span(data, size)))) {
    platform::scaledToSquare(*picture, 22);
  }
  return 0;
}
