// The cancel handshake with real threads: a stand-in run on a worker thread whose status and
// progress calls wait for the main thread, as the dialog's do, and a main thread that pumps
// them while it waits for the worker to park.
#include "shell/cancel_handshake.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/patch_run.h"
#include "run_fixtures.h"
#include "test_files.h"

namespace {

using namespace std::chrono_literals;
using CancelResult = CancelHandshake::CancelResult;

// The main thread's message queue. A worker's send() returns only after the main thread has
// run the call, like a message sent across threads; post() returns at once.
class MainQueue {
 public:
  void send(std::string label) {
    std::unique_lock lock(mutex_);
    const uint64_t ticket = ++sent_;
    calls_.push_back({std::move(label), ticket});
    changed_.notify_all();
    changed_.wait(lock, [&] { return done_ >= ticket; });
  }
  void post(std::string label) {
    std::lock_guard lock(mutex_);
    calls_.push_back({std::move(label), 0});
    changed_.notify_all();
  }
  // Main thread: runs at most one call, waiting up to `wait` for one; returns its label.
  std::string pumpOne(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, wait, [&] { return !calls_.empty(); })) return "";
    Call call = std::move(calls_.front());
    calls_.pop_front();
    if (call.ticket != 0) done_ = call.ticket;
    changed_.notify_all();
    return call.label;
  }

 private:
  struct Call {
    std::string label;
    uint64_t ticket;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Call> calls_;
  uint64_t sent_ = 0;
  uint64_t done_ = 0;
};

// What the worker did, in order.
class Trace {
 public:
  void add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::vector<std::string> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  bool has(const std::string& event) {
    std::lock_guard lock(mutex_);
    return std::find(events_.begin(), events_.end(), event) != events_.end();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
};

constexpr int kRows = 3;
constexpr int kCheckChunks = 2;
constexpr int kRewriteChunks = 3;

// A run with the same pause points as the patch run: at the start of every row and after every
// chunk of the checking read; none while rewriting and none after the last row. Returns false
// when a pause point says stop.
bool standInRun(CancelHandshake& handshake, MainQueue& main, Trace& trace) {
  for (int row = 0; row < kRows; ++row) {
    const std::string r = std::to_string(row);
    if (!handshake.pausePoint()) return false;
    trace.add("row " + r);
    main.send("status checking " + r);
    for (int chunk = 0; chunk < kCheckChunks; ++chunk) {
      trace.add("check " + r + " " + std::to_string(chunk));
      main.send("check " + r + " " + std::to_string(chunk));
      if (!handshake.pausePoint()) return false;
    }
    main.send("status updating " + r);
    for (int chunk = 0; chunk < kRewriteChunks; ++chunk) {
      trace.add("rewrite " + r + " " + std::to_string(chunk));
      main.send("rewrite " + r + " " + std::to_string(chunk));
    }
    trace.add("log " + r);
    main.send("progress " + r);
  }
  trace.add("finish");
  handshake.markRunFinished();
  main.post("end 6");
  return true;
}

// A progress dialog in miniature: starts the worker, pumps the queue, and presses Cancel once
// the main thread has run the call labelled `cancelAt`. Returns the dialog's end code. The
// worker may pass one pause point before the click lands, so a Cancel after a checking chunk
// is sure to be acknowledged within the checking only if another chunk follows.
struct Dialog {
  CancelHandshake handshake;
  MainQueue main;
  Trace trace;
  std::atomic<bool> workerDone{false};
  std::atomic<bool> runReturned{false};
  std::function<bool()> askToStop = [] { return false; };
  std::function<bool(CancelHandshake&, MainQueue&, Trace&)> body = standInRun;
  std::vector<CancelResult> cancels;
  int questions = 0;
  std::vector<std::string> traceWhenAsked;

  void pump() { main.pumpOne(1ms); }

  int run(const std::string& cancelAt) {
    std::thread worker([&] {
      runReturned = body(handshake, main, trace);
      workerDone = true;
    });
    int endCode = 0;
    while (endCode == 0) {
      const std::string label = main.pumpOne(100ms);
      if (label == "end 6") endCode = 6;
      if (label.empty() || label != cancelAt) continue;
      const CancelResult result = cancel();
      cancels.push_back(result);
      if (result == CancelResult::RunFinished) endCode = 6;
      if (result == CancelResult::Confirmed) {
        while (!workerDone) pump();  // the worker unwinds; its calls still need the pump
        endCode = 7;
      }
    }
    worker.join();
    return endCode;
  }

  CancelResult cancel() {
    return handshake.handleCancel([&] { pump(); }, [&] { return workerDone.load(); },
                                  [&] {
                                    ++questions;
                                    traceWhenAsked = trace.events();
                                    return askToStop();
                                  });
  }
};

std::vector<std::string> uncancelledTrace() {
  Dialog dialog;
  EXPECT_EQ(dialog.run(""), 6);
  return dialog.trace.events();
}

TEST(CancelHandshake, RunWithoutCancelEndsWithSix) {
  Dialog dialog;
  EXPECT_EQ(dialog.run(""), 6);
  EXPECT_TRUE(dialog.runReturned);
  EXPECT_TRUE(dialog.trace.has("finish"));
}

TEST(CancelHandshake, RefusedCancelChangesNothing) {
  Dialog dialog;
  EXPECT_EQ(dialog.run("check 1 0"), 6);
  EXPECT_EQ(dialog.cancels, std::vector<CancelResult>{CancelResult::Refused});
  EXPECT_EQ(dialog.questions, 1);
  EXPECT_EQ(dialog.trace.events(), uncancelledTrace());
}

TEST(CancelHandshake, ConfirmedDuringCheckingStopsBeforeTheRewrite) {
  Dialog dialog;
  dialog.askToStop = [] { return true; };
  EXPECT_EQ(dialog.run("check 1 0"), 7);
  EXPECT_EQ(dialog.cancels, std::vector<CancelResult>{CancelResult::Confirmed});
  EXPECT_FALSE(dialog.runReturned);
  EXPECT_EQ(dialog.trace.events(), dialog.traceWhenAsked) << "the worker moved after the question";
  EXPECT_TRUE(dialog.trace.has("check 1 0"));
  EXPECT_FALSE(dialog.trace.has("rewrite 1 0"));
  EXPECT_FALSE(dialog.trace.has("finish"));
}

TEST(CancelHandshake, CancelDuringARewriteIsAcknowledgedAtTheNextRow) {
  Dialog dialog;
  dialog.askToStop = [] { return true; };
  EXPECT_EQ(dialog.run("rewrite 1 0"), 7);
  const std::vector<std::string> asked = dialog.traceWhenAsked;
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back(), "log 1") << "the rewrite of row 1 completes, row 2 is not begun";
  EXPECT_EQ(dialog.trace.events(), asked);
}

TEST(CancelHandshake, CancelAfterTheLastPausePointEndsWithSixUnasked) {
  for (const char* cancelAt : {"rewrite 2 0", "progress 2"}) {
    Dialog dialog;
    dialog.askToStop = [] {
      ADD_FAILURE() << "asked although the run was finishing";
      return true;
    };
    EXPECT_EQ(dialog.run(cancelAt), 6) << cancelAt;
    EXPECT_EQ(dialog.cancels, std::vector<CancelResult>{CancelResult::RunFinished}) << cancelAt;
    EXPECT_EQ(dialog.questions, 0);
    EXPECT_TRUE(dialog.runReturned);
    EXPECT_EQ(dialog.trace.events(), uncancelledTrace());
  }
}

TEST(CancelHandshake, SecondCancelWhileTheQuestionIsOpenDoesNothing) {
  for (bool yes : {false, true}) {
    Dialog dialog;
    CancelResult inner{};
    dialog.askToStop = [&] {
      inner = dialog.cancel();  // the user clicks Cancel again behind the open question
      return yes;
    };
    EXPECT_EQ(dialog.run("check 0 0"), yes ? 7 : 6);
    EXPECT_EQ(inner, CancelResult::Ignored);
    EXPECT_EQ(dialog.questions, 1);
    if (yes) {
      EXPECT_FALSE(dialog.trace.has("rewrite 0 0"));
    } else {
      EXPECT_EQ(dialog.trace.events(), uncancelledTrace());
    }
  }
}

// The real patch run behind the handshake, with the sink the progress dialog has: status and
// progress wait for the main thread, finishing posts the end of the dialog.
class DialogLikeSink final : public ProgressSink {
 public:
  DialogLikeSink(CancelHandshake& handshake, MainQueue& main)
      : handshake_(handshake), main_(main) {}
  void showStatus(const char* text) override { main_.send(std::string("status ") + text); }
  void showProgress(int32_t percent) override { main_.send("progress " + std::to_string(percent)); }
  bool pausePoint() override { return handshake_.pausePoint(); }
  void finishRun() override {
    handshake_.markRunFinished();
    main_.post("end 6");
  }

 private:
  CancelHandshake& handshake_;
  MainQueue& main_;
};

TEST(CancelHandshake, RealRunCancelledDuringARewriteFinishesThatFileAndStops) {
  const PatchEntry rows[] = {makeRow("a.bin", "A.PAT", 9000, 9000, 500000, 600000),
                             makeRow("b.bin", "B.PAT", 9000, 9500, 500000, 600000),
                             makeRow("c.bin", "C.PAT", 9000, 9000, 500000, 600000)};
  for (bool confirm : {false, true}) {
    SCOPED_TRACE(confirm ? "confirmed" : "refused");
    ScopedInstallDir dir;
    RunRig rig;
    setUpOldTargets(rig, {rows[0], rows[1], rows[2]});
    const RunInputs inputs{&rig.table, rig.progressTotal, &rig.messages, &rig.payloads, &rig.io};
    Dialog dialog;
    dialog.askToStop = [&] { return confirm; };
    dialog.body = [&](CancelHandshake& handshake, MainQueue& main, Trace&) {
      DialogLikeSink sink(handshake, main);
      return runPatch(inputs, sink, rig.results);
    };
    EXPECT_EQ(dialog.run("status Updating b.bin..."), confirm ? 7 : 6);
    EXPECT_EQ(dialog.questions, 1);
    EXPECT_EQ(dialog.runReturned.load(), !confirm);
    EXPECT_EQ(readFile("a.bin"), newContent(rows[0]));
    EXPECT_EQ(readFile("b.bin"), newContent(rows[1]));
    EXPECT_EQ(readFile("c.bin"), confirm ? oldContent(rows[2]) : newContent(rows[2]));
    EXPECT_EQ(rig.results.rowsDone, confirm ? 2 : 3);
    EXPECT_EQ(rig.results.problem, 0);
    EXPECT_EQ(rig.io.openStreams(), 0);
  }
}

// Holds a parked worker inside its idle call, so that it cannot notice a cleared request.
std::atomic<bool> gHoldWorker{false};
std::atomic<bool> gWorkerHeld{false};  // the worker is inside the hold
void holdableIdle() {
  if (gHoldWorker.load()) {
    gWorkerHeld = true;
    while (gHoldWorker.load()) std::this_thread::yield();
    gWorkerHeld = false;
  }
  std::this_thread::yield();
}

TEST(CancelHandshake, StaleAcknowledgementNeverStandsInForANewRequest) {
  gHoldWorker = false;
  gWorkerHeld = false;
  CancelHandshake handshake(holdableIdle);
  std::atomic<bool> stopped{false};
  std::thread worker([&] {
    while (handshake.pausePoint()) std::this_thread::yield();  // a run that only checks
    stopped = true;
  });
  const auto never = [] { return false; };
  const auto yield = [] { std::this_thread::yield(); };

  ASSERT_TRUE(handshake.beginCancel());
  ASSERT_EQ(handshake.waitForPause(yield, never), CancelHandshake::WaitResult::Parked);
  // Park the worker in its idle call with the first request's acknowledgement standing.
  gHoldWorker = true;
  while (!gWorkerHeld.load()) std::this_thread::yield();
  handshake.refuse();

  ASSERT_TRUE(handshake.beginCancel());
  bool released = false;
  int pumps = 0;
  const auto pump = [&] {
    if (++pumps == 200) {
      released = true;
      gHoldWorker = false;
    }
    std::this_thread::yield();
  };
  EXPECT_EQ(handshake.waitForPause(pump, never), CancelHandshake::WaitResult::Parked);
  EXPECT_TRUE(released) << "the first request's acknowledgement was taken for the second's";
  gHoldWorker = false;
  handshake.confirm();
  worker.join();
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(handshake.beginCancel()) << "a confirmed Cancel is final";
}

TEST(CancelHandshake, WaitEndsWhenTheWorkerIsGone) {
  CancelHandshake handshake;
  ASSERT_TRUE(handshake.beginCancel());
  EXPECT_EQ(handshake.waitForPause([] {}, [] { return true; }),
            CancelHandshake::WaitResult::WorkerEnded);
  EXPECT_TRUE(handshake.pausePoint()) << "the ended wait leaves no request to park a worker";
  EXPECT_TRUE(handshake.beginCancel()) << "nor a Cancel pending";
}

}  // namespace
