#!/usr/bin/env python3
"""The patcher ended from outside (as by Task Manager or a power cut) in the middle of a run.

  killed.py --config FILE --case rewrite|checking

The driver holds the worker thread while the status line names Varnok\\Classic.bmp (the
third row of the North American table), lets it run on in short steps until the case's moment
is reached, and ends the process with TerminateProcess while the worker is held. Then:

  rewrite   Classic.bmp starts with whole 4096-byte chunks in their new state and the rest in
            the old state (neither state); the rows before are new, the rows after old. The
            next start says the menu is not recognised (message 24) and touches nothing.
  checking  Classic.bmp and the rows after it are untouched, the rows before are new. The next
            start offers to add the patch again (message 26); answered No, nothing changes.
"""

import argparse
import json
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios as sc  # noqa: E402
import wine_session as ws  # noqa: E402

CHUNK = 4096
TARGET = r"Varnok\Classic.bmp"
BEFORE, AFTER = ["Varnok.exe"], [r"Varnok\Enhanced.bmp", r"Varnok\Text.bmp"]
CASES = {"rewrite": 14, "checking": 13}  # the status message that the moment falls in


class Failure(Exception):
    pass


def new_chunks(actual, old, new):
    """How many leading whole chunks of `actual` are new when everything after them is old;
    None when the file is not of that shape."""
    if len(actual) != len(old):
        return None
    chunks = (len(old) + CHUNK - 1) // CHUNK
    for k in range(chunks + 1):
        cut = min(k * CHUNK, len(old))
        if actual[:cut] == new[:cut] and actual[cut:] == old[cut:]:
            return k
    return None


def hold_mid_rewrite(s, pid, threads, old, new, path):
    """Lets the held threads run in short steps until the target is partly rewritten."""
    chunks = (len(old) + CHUNK - 1) // CHUNK
    for _ in range(500):
        with open(path, "rb") as f:
            k = new_chunks(f.read(), old, new)
        if k is None:
            raise Failure("the target is neither old, new, nor new whole chunks then old")
        if 0 < k < chunks:
            return k
        if k == chunks:
            raise Failure("the rewrite finished before the driver could stop it halfway")
        for tid in threads:
            s.resume(tid)
        for tid in threads:
            s.suspend(tid)
    raise Failure("the rewrite did not start")


def run(config, case):
    s = ws.Session(config, f"killed-{case}")
    msgs = ws.read_messages(config["editions"], "na")
    dialog = ws.read_dialog_texts(config["editions"], "na")
    states = sc.state_files(config, "na")
    old, new = states["older"], states["patched"]
    started = time.monotonic()
    ok = False
    try:
        s.open()
        s.set_install_path()
        s.write_system_ini(None)
        shutil.copytree(sc.state_dir(config, "na", "older"), s.install_dir)
        pid = s.start(r'"C:\patcher\patcher-na.exe"')
        kind, box = s.next_event(pid, 60)
        if kind != "window" or box is None or box.box_text() != msgs[26]:
            raise Failure(f"expected the add question, got {kind}")
        before = s.threads(pid)
        s.click(box.hwnd, 6)
        status = msgs[CASES[case]].replace("%s", TARGET)
        reply = s.driver.call("freeze", pid, 30000, dialog["PATCHER_DIALOG_CAPTION"], status,
                              *sorted(before), timeout=60)
        if not reply or not reply[0].startswith("window "):
            raise Failure(f"could not hold the worker at {status!r}: {reply}")
        held = [int(line.split()[1]) for line in reply[1:]]
        path = os.path.join(s.install_dir, *TARGET.split("\\"))
        if case == "rewrite":
            k = hold_mid_rewrite(s, pid, held, old[TARGET], new[TARGET], path)
            print(f"held with {k} of {(len(old[TARGET]) + CHUNK - 1) // CHUNK} chunks of"
                  f" {TARGET} rewritten", flush=True)
        on_disk = sc.read_install(s)
        s.driver.one("kill", pid, timeout=30)
        after = sc.read_install(s)
        if after != on_disk:
            raise Failure("the files changed when the process was ended")
        lengths = {len(states[st]["Varnok.exe"]) for st in states}
        for name in BEFORE:
            # The shrinking row leaves the menu program at its old length, ending in zeros.
            if not sc.matches(after[name], new[name], lengths):
                raise Failure(f"{name}, a row before, is not in its new state")
        for name in AFTER:
            if after[name] != old[name]:
                raise Failure(f"{name}, a row after, is not in its old state")
        if case == "rewrite":
            if after[TARGET] in (old[TARGET], new[TARGET]):
                raise Failure(f"{TARGET} is in a known state")
            expected_box, answer = 24, 1
        else:
            if after[TARGET] != old[TARGET]:
                raise Failure(f"{TARGET} was changed while it was being checked")
            expected_box, answer = 26, 7
        pid = s.start(r'"C:\patcher\patcher-na.exe"')
        kind, box = s.next_event(pid, 60)
        if kind != "window" or box is None or box.box_text() != msgs[expected_box]:
            raise Failure(f"the next start did not show message {expected_box}: "
                          + (box.describe() if box else kind))
        s.screenshot(f"killed-{case}-next-start.png", box.top.rect, box.hwnd)
        s.click(box.hwnd, answer)
        if s.wait_exit(pid, 30) != 0:
            raise Failure("the next start did not end with code 0")
        if sc.read_install(s) != after:
            raise Failure("the next start changed the files")
        print(f"next start: message {expected_box}, files untouched", flush=True)
        ok = True
    except (Failure, ws.HarnessError) as e:
        print(f"FAILED killed-{case}: {e}", flush=True)
        print("The screen showed:\n" + s.report_screen(), flush=True)
    finally:
        s.close()
        if ok:
            s.discard_prefix()
    print(f"killed-{case}: {'passed' if ok else 'FAILED'} in {time.monotonic() - started:.1f} s")
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config", required=True)
    parser.add_argument("--case", choices=sorted(CASES), required=True)
    args = parser.parse_args()
    with open(args.config) as f:
        config = json.load(f)
    return run(config, args.case)


if __name__ == "__main__":
    sys.exit(main())
