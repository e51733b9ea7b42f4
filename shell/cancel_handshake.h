// The cancel handshake between the progress dialog (main thread) and the patch run (worker).
//
// A Cancel must never stop the run in the middle of a rewrite. So the main thread only asks
// the worker to pause; the worker parks at its next pause point (where no target is open for
// writing) and acknowledges; only then is the user asked. On Yes the parked worker is told to
// stop and its pausePoint returns false, so the run unwinds and closes what it holds; on any
// other answer it resumes where it was.
//
// Every request carries a fresh generation number, and the worker acknowledges the generation
// it saw. An acknowledgement left over from an earlier, refused request therefore never passes
// for the acknowledgement of a new one.
//
// Threads: pausePoint and markRunFinished belong to the worker; everything else to the main
// thread. The flags are atomics; nothing is locked.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

class CancelHandshake {
 public:
  // `parkedIdle` is called by a parked worker between two looks at the request (gives up the
  // time slice); tests pass one that can hold the worker still.
  using IdleFunction = void (*)();
  explicit CancelHandshake(IdleFunction parkedIdle = nullptr);
  CancelHandshake(const CancelHandshake&) = delete;
  CancelHandshake& operator=(const CancelHandshake&) = delete;

  // --- worker side ---

  // Parks while a pause is requested, acknowledging it. Returns true to go on, false once a
  // stop was confirmed (the run must then return at once).
  bool pausePoint();
  // Records that the run went through every row; called before the dialog is told to end.
  void markRunFinished();

  // --- main side ---

  bool runFinished() const { return runFinished_.load(std::memory_order_acquire); }
  bool stopConfirmed() const { return stop_.load(std::memory_order_acquire); }

  // Starts a Cancel: requests a pause under a new generation. Returns false, and changes
  // nothing, when a Cancel is already being handled (a second click while the question is open).
  bool beginCancel();

  enum class WaitResult {
    Parked,       // the worker acknowledged this Cancel's request and stays parked
    RunFinished,  // the run finished first; no acknowledgement will come
    WorkerEnded,  // the worker is gone without finishing the run
  };
  // Waits for the acknowledgement of the current request. Between two looks it calls `pump`,
  // which must let the worker's synchronous calls to the main thread complete (and may block
  // briefly). `workerEnded` tells whether the worker thread has returned. After RunFinished or
  // WorkerEnded the Cancel is over.
  WaitResult waitForPause(const std::function<void()>& pump,
                          const std::function<bool()>& workerEnded);

  // Ends a Cancel with No: the worker leaves its pause point and the run goes on.
  void refuse();
  // Ends a Cancel with Yes: the parked worker's pausePoint returns false. Only valid after
  // waitForPause returned Parked. Final: every later beginCancel returns false.
  void confirm();

  enum class CancelResult {
    Ignored,      // a Cancel was already being handled; nothing done
    RunFinished,  // the run finished while waiting; nothing asked
    WorkerEnded,  // the worker ended without finishing; nothing asked
    Refused,      // asked, answered other than Yes; the run goes on
    Confirmed,    // asked, answered Yes; the worker is returning without touching more rows
  };
  // One whole Cancel: begin, wait (pumping), ask with `askToStop` (true means Yes) while the
  // worker is parked, then confirm or refuse. `askToStop` may re-enter handleCancel (a second
  // click during the question); that inner call returns Ignored.
  CancelResult handleCancel(const std::function<void()>& pump,
                            const std::function<bool()>& workerEnded,
                            const std::function<bool()>& askToStop);

 private:
  IdleFunction parkedIdle_;
  std::atomic<uint32_t> request_{0};       // generation of the pending request; 0: none
  std::atomic<uint32_t> acknowledged_{0};  // generation the parked worker saw; 0: not parked
  std::atomic<bool> stop_{false};          // set once by confirm; never cleared
  std::atomic<bool> runFinished_{false};   // set once by markRunFinished
  uint32_t lastGeneration_ = 0;            // main thread only
  bool cancelling_ = false;                // main thread only: a Cancel is being handled
};
