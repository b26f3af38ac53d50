#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/files/work_pool.h"

namespace platform {

// Reads files on the work pool's threads, on the machine's other cores, ahead
// of the thread that wants them, and hands that thread each result in the order the files were given,
// exactly as if it had read them one after another itself. Files go to the
// readers, and results come back, as messages: a reader shares nothing with
// the caller but the queue.
//
// While the result it wants next is not there yet, the caller reads that file
// itself if no reader has begun it, and otherwise waits for the reader that
// has. It never reads past the file it wants: a later file may be one that
// reading in order would never reach (a hung network mount past the match),
// and the caller must not be the one stuck on it. On a machine with one
// core, or where no thread can be started, the caller reads every file
// itself, in order.
//
// How far ahead the readers go is up to the caller: every file given is read,
// unless the queue ends first. Read at idle priority, the files are read only
// with what the rest of the machine leaves over, and a caller that must not
// wait takes only the results that are there. Ending it forgets every file not yet begun and
// the results not taken, and does not wait: a reader stuck on a file (a hung
// network mount) keeps only its own thread of the pool, until its read
// returns.
template <typename Result>
class ReadAhead {
 public:
  // `read` is called on several threads at once, and may still be running
  // after the queue has ended.
  explicit ReadAhead(std::function<Result(const std::filesystem::path&)> read,
                     WorkPool::Priority priority = WorkPool::Priority::normal)
      : queue_(std::make_shared<Queue>(std::move(read))), priority_(priority) {}
  ~ReadAhead() {
    {
      std::lock_guard lock(queue_->mutex);
      queue_->ended = true;
      queue_->waiting.clear();
      queue_->done.clear();
    }
    queue_->changed.notify_all();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  void push(std::filesystem::path file) {
    bool another = false;
    {
      std::lock_guard lock(queue_->mutex);
      queue_->waiting.push_back({given_++, std::move(file)});
      another = queue_->readers < kMostReaders;
      if (another) ++queue_->readers;
    }
    // A file no reader takes, the caller reads itself.
    if (another && !WorkPool::run([queue = queue_] { readUntilEmpty(*queue); }, priority_)) {
      std::lock_guard lock(queue_->mutex);
      --queue_->readers;
    }
  }

  // The result for the earliest file given and not yet taken; there must be one.
  Result take() {
    Queue& queue = *queue_;
    const std::uint64_t wanted = taken_++;
    std::unique_lock lock(queue.mutex);
    while (true) {
      if (const auto found = queue.done.find(wanted); found != queue.done.end()) {
        Result result = std::move(found->second);
        queue.done.erase(found);
        return result;
      }
      if (!queue.waiting.empty() && queue.waiting.front().number == wanted) {
        Job job = std::move(queue.waiting.front());
        queue.waiting.pop_front();
        lock.unlock();
        return queue.read(job.file);
      }
      queue.changed.wait(lock);
    }
  }

  // The result for the earliest file given and not yet taken, if a reader
  // has finished it; never waits, and never reads.
  std::optional<Result> takeIfRead() {
    std::lock_guard lock(queue_->mutex);
    const auto found = queue_->done.find(taken_);
    if (found == queue_->done.end()) return std::nullopt;
    Result result = std::move(found->second);
    queue_->done.erase(found);
    ++taken_;
    return result;
  }

  // Whether every file given and not yet read has a reader that will come
  // to it: false where no thread could be had.
  bool attended() const {
    std::lock_guard lock(queue_->mutex);
    return queue_->readers > 0 || queue_->waiting.empty();
  }

 private:
  struct Job {
    std::uint64_t number;
    std::filesystem::path file;
  };

  // What the readers share with the caller; it lives until the last of them
  // has gone.
  struct Queue {
    explicit Queue(std::function<Result(const std::filesystem::path&)> reading) : read(std::move(reading)) {}

    const std::function<Result(const std::filesystem::path&)> read;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> waiting;               // given, and begun by nobody yet
    std::map<std::uint64_t, Result> done;  // read, and not yet taken, by number
    unsigned readers = 0;                  // given to the work pool, and not yet back
    bool ended = false;
  };

  // A few keep a disk busy; and behind a reader stuck on a file (a hung
  // network mount) wait only as many tasks as that.
  static constexpr unsigned kMostReaders = 3;

  static void readUntilEmpty(Queue& queue) {
    std::unique_lock lock(queue.mutex);
    while (!queue.ended && !queue.waiting.empty()) {
      Job job = std::move(queue.waiting.front());
      queue.waiting.pop_front();
      lock.unlock();
      Result result = queue.read(job.file);
      lock.lock();
      if (queue.ended) break;
      queue.done.emplace(job.number, std::move(result));
      queue.changed.notify_all();
    }
    --queue.readers;
  }

  // Only the caller touches these.
  std::uint64_t given_ = 0;
  std::uint64_t taken_ = 0;

  std::shared_ptr<Queue> queue_;
  const WorkPool::Priority priority_;
};

}  // namespace platform
