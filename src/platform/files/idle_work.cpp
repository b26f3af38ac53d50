#include "platform/files/idle_work.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// From linux/ioprio.h, which not every C library's headers carry.
constexpr int kIoprioWhoProcess = 1;  // with the thread's id: that thread alone
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

}  // namespace

void lowerToIdlePriority() {
  const sched_param none{};
  sched_setscheduler(0, SCHED_IDLE, &none);
  syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(gettid()), kIoprioClassIdle << kIoprioClassShift);
}

}  // namespace platform
