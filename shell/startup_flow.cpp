#include "shell/startup_flow.h"

#include "engine/messages.h"
#include "engine/patch_run.h"
#include "engine/patch_table.h"
#include "shell/host.h"
#include "shell/screen_saver.h"
#include "shell/switches.h"

namespace {

// The flow's working state: its switches, the two captions and the buffer of the message being
// shown. All of it lives for one pass.
struct Flow {
  Host& host;
  const FlowInputs& inputs;
  Switches switches;
  char titleCaption[kMessageBufferSize];
  char errorCaption[kMessageBufferSize];
  char message[kMessageBufferSize];
  int finalMessage = kMsgAdded;
};

void loadMessage(Flow& flow, int number) {
  flow.host.messages().load(number, flow.message, sizeof flow.message);
}

// Loads message `number` and, unless quiet mode is on, shows it as an error box.
void reportFailure(Flow& flow, int number, const char* caption) {
  loadMessage(flow, number);
  if (!flow.switches.quiet) flow.host.messageBox(nullptr, flow.message, caption, kBoxIconError);
}

// A screen-saver entry that names a font file makes Windows try to start a font as a screen
// saver; the entry is deleted and the user told. Shown in quiet mode too.
void repairScreenSaver(Flow& flow) {
  flow.host.readProfileString(flow.message, sizeof flow.message);
  if (!namesTrueTypeFont(flow.message)) return;
  flow.host.deleteProfileString();
  loadMessage(flow, kMsgScreenSaverRepaired);
  flow.host.messageBox(nullptr, flow.message, flow.titleCaption, kBoxIconInformation);
}

// Finds the install directory and makes it current. Returns false with `exit` set when the
// flow ends here. The key is open only inside this step.
bool enterInstallDirectory(Flow& flow, FlowExit& exit) {
  if (!flow.host.openInstallKey()) {
    reportFailure(flow, kMsgInstallDirNotFound, flow.errorCaption);
    exit = FlowExit::KeyNotOpened;
    return false;
  }
  char installDirectory[kMessageBufferSize];
  if (!flow.host.readInstallPath(installDirectory, sizeof installDirectory)) {
    flow.host.closeInstallKey();
    reportFailure(flow, kMsgInstallDirNotFound, flow.errorCaption);
    exit = FlowExit::PathNotRead;
    return false;
  }
  if (flow.host.setCurrentDirectory(installDirectory)) {
    flow.host.closeInstallKey();
    return true;
  }
  // The game was deleted without its uninstaller: removing the stale value lets a new
  // installation proceed.
  flow.host.deleteInstallPath();
  flow.host.closeInstallKey();
  reportFailure(flow, kMsgInstallDirGone, flow.titleCaption);
  exit = FlowExit::DirectoryGone;
  return false;
}

// Turns the survey's verdict into an error or a question. Returns true when a run is to start
// (the table is then in the form the run needs), false with `exit` set otherwise.
bool decide(Flow& flow, FlowExit& exit) {
  const SurveyVerdict verdict = surveyInstallation(*flow.inputs.table, flow.host.fileIo());
  switch (verdict) {
    case Missing:
      reportFailure(flow, kMsgNotInstalled, flow.errorCaption);
      exit = FlowExit::NotInstalled;
      return false;
    case Unrecognised:
      reportFailure(flow, kMsgUnrecognisedVersion, flow.errorCaption);
      exit = FlowExit::Unrecognised;
      return false;
    case AllPatched:
      loadMessage(flow, kMsgRemoveQuestion);
      if (flow.switches.quiet || flow.host.messageBox(nullptr, flow.message, flow.titleCaption,
                                                      kBoxYesNo | kBoxIconWarning) == kAnswerNo) {
        exit = FlowExit::RemoveDeclined;
        return false;
      }
      invertTable(*flow.inputs.table);
      flow.finalMessage = kMsgRemoved;
      return true;
    case Ready:
    default:
      loadMessage(flow, kMsgAddQuestion);
      if (flow.host.messageBox(nullptr, flow.message, flow.titleCaption,
                               kBoxYesNo | kBoxIconQuestion) == kAnswerNo) {
        exit = FlowExit::AddDeclined;
        return false;
      }
      flow.finalMessage = kMsgAdded;
      return true;
  }
}

// Runs the patch behind the progress dialog and reports a completed run.
FlowExit runAndReport(Flow& flow) {
  RunInputs run{};
  run.table = flow.inputs.table;
  run.progressTotal = flow.inputs.progressTotal;
  run.messages = &flow.host.messages();
  run.payloads = &flow.host.payloads();
  run.io = &flow.host.fileIo();
  RunResults& results = *flow.inputs.results;
  if (flow.host.runProgressDialog(run, results) != kRunCompleted) return FlowExit::RunNotCompleted;

  if (results.problem != 0 || flow.switches.verbose) {
    flow.host.showResultsDialog(results);
    return FlowExit::ResultsShown;
  }
  if (!flow.switches.quiet) {
    loadMessage(flow, flow.finalMessage);
    flow.host.messageBox(nullptr, flow.message, flow.titleCaption, kBoxOk);
  }
  return FlowExit::Completed;
}

FlowExit runFlow(Flow& flow) {
  flow.switches = parseSwitches(flow.inputs.commandLine);
  flow.host.messages().load(kMsgTitleCaption, flow.titleCaption, sizeof flow.titleCaption);
  flow.host.messages().load(kMsgErrorCaption, flow.errorCaption, sizeof flow.errorCaption);

  repairScreenSaver(flow);
  FlowExit exit = FlowExit::Completed;
  if (!enterInstallDirectory(flow, exit)) return exit;
  flow.host.closeMenuProgram();
  if (!decide(flow, exit)) return exit;
  return runAndReport(flow);
}

}  // namespace

int runStartupFlow(Host& host, const FlowInputs& inputs, FlowExit* exitTaken) {
  Flow flow{host, inputs, {}, {}, {}, {}};
  const FlowExit exit = runFlow(flow);
  if (exitTaken != nullptr) *exitTaken = exit;
  return 0;
}
