// Threads and the counting semaphore of the platform layer.
#pragma once

#include <atomic>
#include <cstdint>

// A counting semaphore with a maximum, as the output path needs it: Release
// never blocks or allocates (the audio callback releases it), Wait may time out.
struct CountingSemaphore {
  std::atomic<int32_t> Count{0};
  std::atomic<int32_t> Waiters{0};
  int32_t Maximum = 0x7FFFFFFF;
};

void InitSemaphore(CountingSemaphore &semaphore, int32_t initial, int32_t maximum);
// Adds count; false (and no change) when that would pass the maximum.
bool ReleaseSemaphore(CountingSemaphore &semaphore, int32_t count = 1);
// Takes one unit; waits at most timeoutMs (negative: without limit). False on timeout.
bool WaitSemaphore(CountingSemaphore &semaphore, int timeoutMs);

// Handle of a started thread, 0 = failure.
using ThreadHandle = uint64_t;
using ThreadProcedure = void (*)(void *argument);

// Starts procedure(argument) on a new thread; with belowNormal the thread runs
// at a lower priority than the interface (a positive nice value).
ThreadHandle StartThread(ThreadProcedure procedure, void *argument, bool belowNormal);
bool IsThreadRunning(ThreadHandle thread);
// Waits for the thread to end (negative timeout: without limit); true when it
// has ended. Ended threads are joined and their handles become invalid.
bool WaitThread(ThreadHandle thread, int timeoutMs);
// True on the thread that started the platform layer (the interface thread).
bool IsMainThread();
void MarkMainThread();
