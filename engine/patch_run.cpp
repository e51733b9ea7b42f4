#include "patch_run.h"

int32_t progressPercent(int64_t counter, int32_t progressTotal) {
  if (progressTotal <= 0) return 0;
  return static_cast<int32_t>(counter * 100 / progressTotal);
}

int messageForOutcome(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::NotFound:
      return kMsgNotFound;
    case RowOutcome::UpToDate:
    case RowOutcome::ChainedUpToDate:
      return kMsgUpToDate;
    case RowOutcome::NotRecognised:
      return kMsgNotRecognised;
    case RowOutcome::InternalError:
      return kMsgInternalError;
    case RowOutcome::OpenFailed:
      return kMsgOpenFailed;
    case RowOutcome::WriteFailed:
    case RowOutcome::ShortFile:
      return kMsgMayBeCorrupt;
    case RowOutcome::Patched:
      return kMsgPatched;
  }
  return kMsgInternalError;
}

bool outcomeIsProblem(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::UpToDate:
    case RowOutcome::ChainedUpToDate:
    case RowOutcome::Patched:
      return false;
    default:
      return true;
  }
}

// PLACEHOLDER until the patch run lands: does nothing and reports a stop.
bool runPatch(const RunInputs&, ProgressSink&, RunResults&) { return false; }
