#pragma once

#include <cstdlib>
#include <memory>

namespace platform {

// libxcb hands out every reply and event in memory of malloc's that the
// caller must free; held in one of these, it frees itself on every path.
struct XcbFree {
  void operator()(void* reply) const { std::free(reply); }
};

template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFree>;

}  // namespace platform
