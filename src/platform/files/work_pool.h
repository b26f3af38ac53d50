#pragma once

#include <functional>

namespace platform {

// The threads that do the program's work off the main thread, started as
// work comes and kept for the life of the process, so that reading ahead
// and warming up share one set of threads instead of each starting its own.
//
// Normal work goes to one thread fewer than the machine has cores (the
// caller's own core works too), and to a few at most, which are enough to
// keep a disk busy. Idle work goes to one thread of its own at idle
// priority, for the processor (SCHED_IDLE) and for the disk (the idle I/O
// class): it gets only what the rest of the machine leaves over, and never
// delays normal work.
class WorkPool {
 public:
  enum class Priority { normal, idle };

  // False when no thread can run it: on a machine with one core for normal
  // work, or where no thread can be had; the task is then dropped.
  static bool run(std::function<void()> task, Priority priority);
};

}  // namespace platform
