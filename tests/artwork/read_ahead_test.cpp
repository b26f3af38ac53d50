#include "platform/files/read_ahead.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <latch>
#include <string>

namespace {

namespace fs = std::filesystem;

// Reads take a varying while, so that the readers finish out of order.
std::string slowRead(const fs::path& file) {
  const int number = std::stoi(file.string());
  std::this_thread::sleep_for(std::chrono::microseconds(number % 7 * 50));
  return file.string() + " read";
}

TEST(ReadAhead, HandsResultsOverInTheOrderTheFilesWereGiven) {
  platform::ReadAhead<std::string> reading(slowRead);
  int given = 0;
  int taken = 0;
  // A window that opens and closes, as a walk's does.
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < 1 + round * 3 % 17; ++i) reading.push(std::to_string(given++));
    while (taken < given - round % 4) {
      EXPECT_EQ(reading.take(), std::to_string(taken) + " read");
      ++taken;
    }
  }
}

TEST(ReadAhead, TheCallerReadsNoFurtherThanItWantsAndEndingWaitsForNoReader) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: no reader of its own";
  // Shared with the readers, which outlive the queue and may outlive this test.
  struct Reads {
    std::atomic<int> begun = 0;
    std::atomic<int> hung = 0;
    std::atomic<int> readByCaller = 0;
    std::latch release{1};
  };
  const auto reads = std::make_shared<Reads>();
  auto ended = std::async(std::launch::async, [reads] {
    const auto caller = std::this_thread::get_id();
    platform::ReadAhead<int> reading([reads, caller](const fs::path& file) {
      ++reads->begun;
      // Slow enough that the caller, wanting it, finds later files not begun.
      if (file == "first") std::this_thread::sleep_for(std::chrono::milliseconds(5));
      // A file on a network mount that has gone away, past the one wanted.
      if (file == "hung") {
        if (std::this_thread::get_id() == caller) {
          ++reads->readByCaller;
          return 0;
        }
        ++reads->hung;
        reads->release.wait();
      }
      return 0;
    });
    reading.push("first");
    for (int i = 0; i < 1000; ++i) reading.push("hung");
    reading.take();
    while (reads->hung == 0) std::this_thread::yield();
  });
  const bool returned = ended.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  reads->release.count_down();
  ended.wait();
  EXPECT_TRUE(returned) << "ending waited for a read that does not return";
  EXPECT_LT(reads->begun.load(), 1000);
  EXPECT_EQ(reads->readByCaller.load(), 0) << "the caller read past the file it wanted";
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Leaves no room for another thread's stack, reads, and ends the process
// with 0 when every result came in order.
[[noreturn]] void readWithoutRoomForThreads() {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  statm >> pages;
  const rlim_t bytes = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
  const rlimit room{bytes, bytes};
  setrlimit(RLIMIT_AS, &room);
  platform::ReadAhead<std::string> reading([](const fs::path& file) { return file.string() + " read"; });
  for (int i = 0; i < 100; ++i) reading.push(std::to_string(i));
  for (int i = 0; i < 100; ++i) {
    if (reading.take() != std::to_string(i) + " read") std::_Exit(1);
  }
  std::_Exit(0);
}

// Without room for a thread, the caller reads everything itself. (The
// sanitizers' own reservations of address space leave no room to try this.)
TEST(ReadAheadDeathTest, WithoutThreadsTheCallerReadsAlone) {
  EXPECT_EXIT(readWithoutRoomForThreads(), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
