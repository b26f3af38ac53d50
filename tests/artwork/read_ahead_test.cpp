#include "platform/files/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

TEST(ReadAhead, EndingForgetsTheFilesNotBegunAndWaitsForTheRest) {
  std::atomic<int> begun = 0;
  std::atomic<int> finished = 0;
  {
    platform::ReadAhead<int> reading([&](const fs::path&) {
      ++begun;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return ++finished;
    });
    for (int i = 0; i < 1000; ++i) reading.push("file");
    reading.take();
  }
  EXPECT_EQ(begun.load(), finished.load());
  EXPECT_LT(finished.load(), 1000);
}

}  // namespace
