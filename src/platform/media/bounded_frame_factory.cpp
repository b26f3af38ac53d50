#include "platform/media/bounded_frame_factory.h"

#include <taglib/id3v2frame.h>

namespace platform {

BoundedFrameFactory* BoundedFrameFactory::instance() {
  static BoundedFrameFactory factory;
  return &factory;
}

// TagLib makes an unknown frame of any frame refused here. An unknown frame
// is still inflated when its header says it is compressed, so the header is
// first rendered again, which TagLib does without any flags.
bool BoundedFrameFactory::updateFrame(FrameHeader header) const {
  if (header->compression()) {
    header->setData(header->render(), header->version());
    return false;
  }
  const TagLib::ByteVector id = header->frameID();
  return id != "CHAP" && id != "CTOC" && FrameFactory::updateFrame(header);
}

}  // namespace platform
