#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

namespace sonvetta::testdata {

// Leaves the process exactly `free` more file descriptors than it has open,
// for the length of the scope.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(int free) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    // The lowest descriptor that nothing holds, once every gap below it is taken.
    int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (int highest = highestOpen(); lowest < highest; lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) {
      fillers_.push_back(lowest);
    }
    ::close(lowest);
    rlimit limited = saved_;
    limited.rlim_cur = static_cast<rlim_t>(lowest + free);
    setrlimit(RLIMIT_NOFILE, &limited);
  }
  ~DescriptorLimit() {
    setrlimit(RLIMIT_NOFILE, &saved_);
    for (const int filler : fillers_) ::close(filler);
  }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  static int highestOpen() {
    int highest = 2;
    for (int descriptor = 3; descriptor < 4096; ++descriptor) {
      if (fcntl(descriptor, F_GETFD) != -1) highest = descriptor;
    }
    return highest;
  }

  rlimit saved_{};
  std::vector<int> fillers_;
};

}  // namespace sonvetta::testdata
