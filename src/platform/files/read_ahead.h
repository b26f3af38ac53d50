#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// Reads files on the machine's other cores ahead of the thread that wants
// them, and hands that thread each result in the order the files were given,
// exactly as if it had read them one after another itself. Files go to the
// readers, and results come back, as messages: a reader shares nothing with
// the caller but the queue.
//
// While the result it wants next is not there yet, the caller reads the
// earliest file that no reader has begun, rather than wait idle. On a machine
// with one core no thread is started and the caller reads every file itself,
// in order. Threads start with the first file given, so that an owner that
// never needs to read costs nothing.
//
// How far ahead the readers go is up to the caller: every file given is read,
// unless the queue ends first. Ending it waits for the files being read and
// forgets their results and every file not yet begun.
template <typename Result>
class ReadAhead {
 public:
  // `read` is called on several threads at once.
  explicit ReadAhead(std::function<Result(const std::filesystem::path&)> read) : read_(std::move(read)) {}
  ~ReadAhead() {
    {
      std::lock_guard lock(mutex_);
      waiting_.clear();
    }
    for (std::jthread& reader : readers_) reader.request_stop();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  void push(std::filesystem::path file) {
    {
      std::lock_guard lock(mutex_);
      waiting_.push_back({given_++, std::move(file)});
    }
    if (!started_) startReaders();
    changed_.notify_one();
  }

  // The result for the earliest file given and not yet taken; there must be one.
  Result take() {
    const std::uint64_t wanted = taken_++;
    std::unique_lock lock(mutex_);
    while (true) {
      if (const auto found = done_.find(wanted); found != done_.end()) {
        Result result = std::move(found->second);
        done_.erase(found);
        return result;
      }
      if (!waiting_.empty()) {
        Job job = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        Result result = read_(job.file);
        if (job.number == wanted) return result;
        lock.lock();
        done_.emplace(job.number, std::move(result));
        continue;
      }
      changed_.wait(lock);
    }
  }

 private:
  struct Job {
    std::uint64_t number;
    std::filesystem::path file;
  };

  // The caller's own core reads too, so one thread fewer than the machine has
  // cores; and a few are enough to keep a disk busy.
  static unsigned readerCount() {
    constexpr unsigned kMostReaders = 3;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min(cores - 1, kMostReaders);
  }

  void startReaders() {
    started_ = true;
    for (unsigned i = readerCount(); i > 0; --i) {
      readers_.emplace_back([this](std::stop_token stop) { readUntilStopped(stop); });
    }
  }

  void readUntilStopped(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, stop, [this] { return !waiting_.empty(); })) {
      Job job = std::move(waiting_.front());
      waiting_.pop_front();
      lock.unlock();
      Result result = read_(job.file);
      lock.lock();
      if (stop.stop_requested()) return;
      done_.emplace(job.number, std::move(result));
      changed_.notify_all();
    }
  }

  const std::function<Result(const std::filesystem::path&)> read_;
  // Only the caller touches these.
  bool started_ = false;
  std::uint64_t given_ = 0;
  std::uint64_t taken_ = 0;

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<Job> waiting_;               // given, and begun by nobody yet
  std::map<std::uint64_t, Result> done_;  // read, and not yet taken, by number

  // Last, so that they are stopped and joined before anything they use goes.
  std::vector<std::jthread> readers_;
};

}  // namespace platform
