#include "sync.h"

#include <linux/futex.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "system.h"

static long Futex(std::atomic<int32_t> *word, int operation, int32_t value, const timespec *timeout) {
  static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t));
  return syscall(SYS_futex, reinterpret_cast<int32_t *>(word), operation | FUTEX_PRIVATE_FLAG, value, timeout,
                 nullptr, 0);
}

void InitSemaphore(CountingSemaphore &semaphore, int32_t initial, int32_t maximum) {
  semaphore.Maximum = maximum;
  semaphore.Count.store(initial, std::memory_order_release);
  semaphore.Waiters.store(0, std::memory_order_release);
}

bool ReleaseSemaphore(CountingSemaphore &semaphore, int32_t count) {
  if (count <= 0)
    return false;
  int32_t current = semaphore.Count.load(std::memory_order_relaxed);
  do {
    if (current > semaphore.Maximum - count)
      return false;
  } while (!semaphore.Count.compare_exchange_weak(current, current + count, std::memory_order_release,
                                                  std::memory_order_relaxed));
  // The system call only when someone sleeps: the audio callback releases
  // this at every block.
  if (semaphore.Waiters.load(std::memory_order_seq_cst) > 0)
    Futex(&semaphore.Count, FUTEX_WAKE, count, nullptr);
  return true;
}

static bool TryTake(CountingSemaphore &semaphore) {
  int32_t current = semaphore.Count.load(std::memory_order_relaxed);
  while (current > 0) {
    if (semaphore.Count.compare_exchange_weak(current, current - 1, std::memory_order_acquire,
                                              std::memory_order_relaxed))
      return true;
  }
  return false;
}

bool WaitSemaphore(CountingSemaphore &semaphore, int timeoutMs) {
  uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (TryTake(semaphore))
      return true;
    timespec wait{};
    const timespec *timeout = nullptr;
    if (timeoutMs >= 0) {
      uint64_t now = MonotonicMilliseconds();
      if (now >= deadline)
        return false;
      uint64_t left = deadline - now;
      wait.tv_sec = static_cast<time_t>(left / 1000);
      wait.tv_nsec = static_cast<long>(left % 1000) * 1000000L;
      timeout = &wait;
    }
    semaphore.Waiters.fetch_add(1, std::memory_order_seq_cst);
    // Sleeps only while the count is still 0, so a release in between is not lost.
    Futex(&semaphore.Count, FUTEX_WAIT, 0, timeout);
    semaphore.Waiters.fetch_sub(1, std::memory_order_seq_cst);
  }
}

// ---- Threads ---------------------------------------------------------------

struct ThreadRecord {
  std::thread Thread;
  std::atomic<bool> Ended{false};
  // A thread nobody waited for must not abort the process at exit.
  ~ThreadRecord() {
    if (Thread.joinable())
      Thread.detach();
  }
};

static std::mutex ThreadsLock;
static std::map<ThreadHandle, std::shared_ptr<ThreadRecord>> Threads;
static ThreadHandle LastThreadHandle = 0;

ThreadHandle StartThread(ThreadProcedure procedure, void *argument, bool belowNormal) {
  if (!procedure)
    return 0;
  auto record = std::make_shared<ThreadRecord>();
  std::lock_guard<std::mutex> hold(ThreadsLock);
  ThreadHandle handle = ++LastThreadHandle;
  record->Thread = std::thread([record_ = record.get(), procedure, argument, belowNormal] {
    if (belowNormal)
      setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
    procedure(argument);
    record_->Ended.store(true, std::memory_order_release);
  });
  Threads[handle] = record;
  return handle;
}

static std::shared_ptr<ThreadRecord> FindThread(ThreadHandle thread) {
  std::lock_guard<std::mutex> hold(ThreadsLock);
  auto found = Threads.find(thread);
  return found == Threads.end() ? nullptr : found->second;
}

bool IsThreadRunning(ThreadHandle thread) {
  auto record = FindThread(thread);
  return record && !record->Ended.load(std::memory_order_acquire);
}

bool WaitThread(ThreadHandle thread, int timeoutMs) {
  auto record = FindThread(thread);
  if (!record)
    return true;
  uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs < 0 ? 0 : timeoutMs);
  while (!record->Ended.load(std::memory_order_acquire)) {
    if (timeoutMs >= 0 && MonotonicMilliseconds() >= deadline)
      return false;
    Pause(1);
  }
  if (record->Thread.joinable())
    record->Thread.join();
  std::lock_guard<std::mutex> hold(ThreadsLock);
  Threads.erase(thread);
  return true;
}

static std::atomic<std::thread::id> MainThreadId{};

void MarkMainThread() { MainThreadId.store(std::this_thread::get_id(), std::memory_order_release); }

bool IsMainThread() { return MainThreadId.load(std::memory_order_acquire) == std::this_thread::get_id(); }
