#!/usr/bin/env python3
"""Timings under Wine, by hand (not part of CTest):

  timings.py --config FILE [--runs N]

1. From a process's start to its first window: the smallest Win32 program with one message
   box, against each edition's patcher up to its first question (the add question).
2. From a Cancel click to the Cancel question: during checking, and at the worst moment, just
   after "Updating Varnok\\Classic.bmp..." appears (the question can only come once that
   921656-byte rewrite is done).

The driver takes the times inside the prefix with the performance counter, polling every
millisecond. Prints the median, the smallest and the largest of the runs.
"""

import argparse
import json
import os
import shutil
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios as sc  # noqa: E402
import wine_session as ws  # noqa: E402

FIRST_STATE = {"na": "regular", "uk": "unpatched", "de": "unpatched"}


def launch(s, command_line):
    """Milliseconds from the start to the first window; answers the window with its No or OK
    button and waits for the end."""
    reply = s.driver.call("launch", 60000, command_line, timeout=90)
    if len(reply) != 2 or not reply[1].startswith("window "):
        raise ws.HarnessError(f"launch {command_line}: {reply}")
    pid = int(reply[0].split()[1])
    hwnd, micros = (int(v) for v in reply[1].split()[1:3])
    w = s.dump(hwnd)
    s.click(hwnd, 7 if w.child(7) is not None else 1)
    if s.wait_exit(pid, 60) is None:
        raise ws.HarnessError(f"{command_line} did not end")
    return micros / 1000


def cancel_to_question(s, config, edition, status):
    """Milliseconds from a Cancel click right after `status` appears to the question."""
    msgs = ws.read_messages(config["editions"], edition)
    caption = ws.read_dialog_texts(config["editions"], edition)["PATCHER_DIALOG_CAPTION"]
    shutil.rmtree(s.install_dir, ignore_errors=True)
    shutil.copytree(sc.state_dir(config, edition, sc.STATES[edition][0]), s.install_dir)
    pid = s.start(f'"C:\\patcher\\patcher-{edition}.exe"')
    kind, box = s.next_event(pid, 60)
    if kind != "window" or box is None or box.box_text() != msgs[26]:
        raise ws.HarnessError("no add question")
    s.click(box.hwnd, 6)
    wanted = msgs[status[0]].replace("%s", status[1]).encode("cp1252").decode("latin-1")
    reply = s.driver.call("cancel-at", pid, 60000, caption, 0, 1, wanted, timeout=90)
    if len(reply) != 3 or not reply[2].startswith("window "):
        raise ws.HarnessError(f"cancel-at: {reply}")
    hwnd, micros = (int(v) for v in reply[2].split()[1:3])
    w = s.dump(hwnd)
    if w.box_text() != msgs[6]:
        raise ws.HarnessError("the window after the click is not the Cancel question:\n"
                              + w.describe())
    s.click(hwnd, 6)
    if s.wait_exit(pid, 60) is None:
        raise ws.HarnessError("the patcher did not end after the confirmed Cancel")
    return micros / 1000


def row(label, values):
    return (f"{label:<66} {statistics.median(values):8.1f} {min(values):8.1f}"
            f" {max(values):8.1f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config", required=True)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    with open(args.config) as f:
        config = json.load(f)
    s = ws.Session(config, "timings")
    lines = []
    try:
        s.open()
        shutil.copy(os.path.join(os.path.dirname(config["driver"]), "msgbox.exe"),
                    s.c_path(r"C:\patcher"))
        s.set_install_path()
        s.write_system_ini(None)
        launch(s, r"C:\patcher\msgbox.exe")  # the first start loads the DLLs from disk
        values = [launch(s, r"C:\patcher\msgbox.exe") for _ in range(args.runs)]
        lines.append(row("start to the box: one-message-box program", values))
        for edition in ("na", "uk", "de"):
            shutil.rmtree(s.install_dir, ignore_errors=True)
            shutil.copytree(sc.state_dir(config, edition, FIRST_STATE[edition]),
                            s.install_dir)
            exe = f'"C:\\patcher\\patcher-{edition}.exe"'
            values = [launch(s, exe) for _ in range(args.runs)]
            lines.append(row(f"start to the add question: patcher-{edition}", values))
        for label, status in (("during checking Classic.bmp", (13, r"Varnok\Classic.bmp")),
                              ("right after Updating Classic.bmp shows",
                               (14, r"Varnok\Classic.bmp"))):
            values = [cancel_to_question(s, config, "na", status) for _ in range(args.runs)]
            lines.append(row(f"Cancel click to question (na), {label}", values))
    finally:
        s.close()
    print(f"\n{'milliseconds, ' + str(args.runs) + ' runs each':<66} {'median':>8} {'min':>8}"
          f" {'max':>8}")
    print("\n".join(lines))
    s.discard_prefix()
    return 0


if __name__ == "__main__":
    sys.exit(main())
