#include "shell/cancel_handshake.h"

#include <chrono>
#include <thread>

namespace {

// A parked worker looks at the request about a thousand times a second: quick enough that a
// refused Cancel resumes at once, without keeping a core busy while the question is open.
void sleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

CancelHandshake::CancelHandshake(IdleFunction parkedIdle)
    : parkedIdle_(parkedIdle != nullptr ? parkedIdle : sleepBriefly) {}

bool CancelHandshake::pausePoint() {
  for (uint32_t generation = request_.load(std::memory_order_acquire); generation != 0;
       generation = request_.load(std::memory_order_acquire)) {
    acknowledged_.store(generation, std::memory_order_release);
    parkedIdle_();
  }
  acknowledged_.store(0, std::memory_order_release);
  return !stop_.load(std::memory_order_acquire);
}

void CancelHandshake::markRunFinished() { runFinished_.store(true, std::memory_order_release); }

bool CancelHandshake::beginCancel() {
  if (cancelling_) return false;
  cancelling_ = true;
  if (++lastGeneration_ == 0) lastGeneration_ = 1;  // 0 means "no request"
  request_.store(lastGeneration_, std::memory_order_release);
  return true;
}

CancelHandshake::WaitResult CancelHandshake::waitForPause(
    const std::function<void()>& pump, const std::function<bool()>& workerEnded) {
  for (;;) {
    if (acknowledged_.load(std::memory_order_acquire) == lastGeneration_) return WaitResult::Parked;
    if (runFinished()) {
      refuse();
      return WaitResult::RunFinished;
    }
    if (workerEnded()) {
      refuse();
      return WaitResult::WorkerEnded;
    }
    pump();
  }
}

void CancelHandshake::refuse() {
  request_.store(0, std::memory_order_release);
  cancelling_ = false;
}

void CancelHandshake::confirm() {
  stop_.store(true, std::memory_order_release);
  // Publishes the stop before the worker can see the request cleared and leave its park.
  request_.store(0, std::memory_order_release);
  // A confirmed Cancel is final: later clicks are ignored while the dialog ends.
}

CancelHandshake::CancelResult CancelHandshake::handleCancel(
    const std::function<void()>& pump, const std::function<bool()>& workerEnded,
    const std::function<bool()>& askToStop) {
  if (!beginCancel()) return CancelResult::Ignored;
  switch (waitForPause(pump, workerEnded)) {
    case WaitResult::RunFinished:
      return CancelResult::RunFinished;
    case WaitResult::WorkerEnded:
      return CancelResult::WorkerEnded;
    case WaitResult::Parked:
      break;
  }
  if (askToStop()) {
    confirm();
    return CancelResult::Confirmed;
  }
  refuse();
  return CancelResult::Refused;
}
