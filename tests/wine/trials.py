#!/usr/bin/env python3
"""Cancel trials: Cancel pressed at random moments of real runs under Wine.

  trials.py --config FILE --kind confirmed|refused --count N [--seed S] [--budget SECONDS]
  trials.py --config FILE --kind confirmed|refused --trial SEED     repeat one trial

A confirmed trial answers Yes to the Cancel question. Afterwards every target must be exactly
as an uncancelled run leaves it after some number of whole rows: the rows before the pause
point in their new state, the rows after it in their old state, and no file half-rewritten.
A refused trial answers No (some click Cancel twice at once, some click it again while the
question is open, which must do nothing) and must end exactly like a run without Cancel: the
same files and the same results log (with /v).

The moment of the click comes from a seeded generator: either any moment of the run, or a
moment inside one rewrite ("Updating <target>..." on the status line). A Cancel during the
last row's rewrite is never acknowledged (no pause point follows), so the run completes without
a question; such trials are counted on their own.

One display and one prefix serve the whole trial process; the sample files are restored before
each trial. Every trial has a hard time bound, and so has the whole trial run. A failing trial
prints its seed and leaves a screenshot in the screenshots folder.
"""

import argparse
import json
import os
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios as sc  # noqa: E402
import wine_session as ws  # noqa: E402

EDITIONS = ("na", "uk", "de")
TRIAL_BOUND = 60  # seconds one trial may take, everything included
QUESTION = {"add": 26, "remove": 25}
FINAL = {"add": 27, "remove": 29}
MSG_CANCEL_QUESTION, MSG_CANCEL_CAPTION, MSG_CHECKING, MSG_UPDATING = 6, 7, 13, 14


class TrialFailure(Exception):
    pass


def start_state(edition, direction):
    return sc.STATES[edition][0] if direction == "add" else sc.STATES[edition][-1]


def transitions(edition, direction):
    """(target, state it is in after the row) for each row of the run, in order."""
    end = "patched" if direction == "add" else sc.UNPATCHED[edition]
    rows = [(name, end) for name in sc.FILES]
    if edition == "na":
        # Two chained rows rewrite the menu program: older -> regular -> patched. Removing,
        # the first of them has nothing to do and the second goes back to the regular release.
        first = ("Varnok.exe", "regular" if direction == "add" else "patched")
        rows.insert(0, first)
    return rows


class Combo:
    """One edition and direction: its states, the files after each whole row, and (from an
    uncancelled run with /v) the results log, the files and the status timeline."""

    def __init__(self, trials, edition, direction):
        self.edition, self.direction = edition, direction
        self.msgs = ws.read_messages(trials.config["editions"], edition)
        self.dialog = ws.read_dialog_texts(trials.config["editions"], edition)
        self.states = sc.state_files(trials.config, edition)
        self.lengths = {n: {len(self.states[s][n]) for s in self.states} for n in sc.FILES}
        self.start = start_state(edition, direction)
        self.snapshots = [dict(self.states[self.start])]
        for name, state in transitions(edition, direction):
            snapshot = dict(self.snapshots[-1])
            snapshot[name] = self.states[state][name]
            self.snapshots.append(snapshot)
        self.caption = self.dialog["PATCHER_DIALOG_CAPTION"]
        self.reference_log = None
        self.reference_files = None
        self.timeline = None  # [(seconds from the dialog's appearance, status)], then the end
        self.run_time = None

    def status(self, message, name):
        return self.msgs[message].replace("%s", name)

    def is_updating(self, text):
        return text in {self.status(MSG_UPDATING, name) for name in sc.FILES}

    def phases(self, rewrites_only=False):
        """(index in the timeline, its duration in seconds) of every phase of the timeline,
        or of every "Updating" phase."""
        return [(i, self.timeline[i + 1][0] - t)
                for i, (t, text) in enumerate(self.timeline[:-1])
                if not rewrites_only or self.is_updating(text)]

    def statuses_from(self, index):
        """The status of a phase and of every phase after it: the first of them that the
        driver sees starts the delay, so a phase too short to be seen is not waited for."""
        return list(dict.fromkeys(text for _, text in self.timeline[index:-1]))


class Trials:
    def __init__(self, config, kind, name):
        self.config, self.kind = config, kind
        self.session = ws.Session(config, name)
        self.combos = {}
        self.counts = {}

    def open(self):
        s = self.session
        s.open()
        s.set_install_path()
        s.write_system_ini(None)

    def close(self):
        self.session.close()

    # -- world ------------------------------------------------------------------------------

    def restore(self, edition, state):
        target = self.session.install_dir
        if os.path.exists(target):
            shutil.rmtree(target)
        shutil.copytree(sc.state_dir(self.config, edition, state), target)

    def combo(self, edition, direction):
        key = (edition, direction)
        if key not in self.combos:
            combo = Combo(self, edition, direction)
            self.reference_run(combo)
            self.combos[key] = combo
        return self.combos[key]

    def start(self, combo, args, deadline):
        """Starts the patcher and answers its question Yes; returns the process id."""
        s = self.session
        pid = s.start(f'"C:\\patcher\\patcher-{combo.edition}.exe" {args}'.rstrip())
        box = self.expect_window(pid, deadline, "the question")
        expected = combo.msgs[QUESTION[combo.direction]]
        if box.box_text() != expected:
            raise TrialFailure("expected the question, got:\n" + box.describe())
        s.click(box.hwnd, 6)
        return pid

    def expect_window(self, pid, deadline, what, skip_progress=True):
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TrialFailure(f"timed out waiting for {what} (deadlock?)")
            kind, value = self.session.next_event(pid, min(remaining, 60))
            if kind == "window" and value is None:
                continue
            if kind == "window" and skip_progress and value.is_progress_dialog():
                continue
            if kind == "window":
                return value
            if kind == "exited":
                raise TrialFailure(f"the program ended (code {value}) before {what}")
            raise TrialFailure(f"timed out waiting for {what} (deadlock?)")

    def expect_exit(self, pid, deadline):
        remaining = max(1, deadline - time.monotonic())
        kind, value = self.session.next_event(pid, remaining)
        if kind == "window" and value is not None:
            raise TrialFailure("expected the program to end, got:\n" + value.describe())
        if kind != "exited":
            raise TrialFailure("the program did not end (deadlock?)")
        if value != 0:
            raise TrialFailure(f"exit code {value}")

    def finish_results(self, pid, combo, deadline):
        """Reads the results log, presses Finish and waits for the end; returns the log."""
        w = self.expect_window(pid, deadline, "the results dialog")
        if not w.is_results_dialog():
            raise TrialFailure("expected the results dialog, got:\n" + w.describe())
        log = w.child(1000).text
        self.session.click(w.hwnd, 1002)
        self.expect_exit(pid, deadline)
        return log

    def reference_run(self, combo):
        """A run without Cancel, with /v, following the status line."""
        s = self.session
        deadline = time.monotonic() + TRIAL_BOUND
        self.restore(combo.edition, combo.start)
        pid = self.start(combo, "/v", deadline)
        lines = s.driver.call("statuses", pid, 60000, combo.caption, timeout=90)
        if not lines or not lines[-1].startswith("gone "):
            raise ws.HarnessError(f"could not follow the status line: {lines}")
        timeline = []
        for line in lines:
            fields = line.split(" ", 2)
            text = ws.unescape(fields[2]).decode("cp1252") if len(fields) > 2 else ""
            if text or line.startswith("gone "):  # a closing dialog reads as empty
                timeline.append((int(fields[1]) / 1e6, text))
        combo.timeline = timeline
        combo.run_time = timeline[-1][0]
        combo.reference_log = self.finish_results(pid, combo, deadline)
        combo.reference_files = sc.read_install(s)
        end = combo.snapshots[-1]
        for name in sc.FILES:
            if not sc.matches(combo.reference_files[name], end[name], combo.lengths[name]):
                raise ws.HarnessError(f"the uncancelled run left {name} in no expected state")
        phases = ", ".join(f"{combo.timeline[i][1]} {d * 1000:.0f} ms"
                           for i, d in combo.phases())
        print(f"reference run {combo.edition} {combo.direction}: {combo.run_time * 1000:.0f} ms;"
              f" {phases}", flush=True)

    # -- one trial --------------------------------------------------------------------------

    def plan(self, seed):
        """Everything random about one trial, from its seed."""
        rng = random.Random(seed)
        edition = EDITIONS[rng.randrange(3)]
        direction = rng.choice(["add", "remove"])
        combo = self.combo(edition, direction)
        # Half the moments fall in any phase of the run, half inside a rewrite.
        index, span = rng.choice(combo.phases(rewrites_only=rng.random() < 0.5))
        anchor = combo.statuses_from(index)
        delay = rng.uniform(0, span)
        clicks, again = 1, False
        if self.kind == "refused":
            mode = rng.choice(["single", "double", "again"])
            clicks, again = (2 if mode == "double" else 1), mode == "again"
        return combo, anchor, delay, clicks, again

    def trial(self, seed):
        combo, anchor, delay, clicks, again = self.plan(seed)
        s = self.session
        deadline = time.monotonic() + TRIAL_BOUND
        self.restore(combo.edition, combo.start)
        args = "/v" if self.kind == "refused" else ""
        pid = self.start(combo, args, deadline)
        self.pid = pid
        reply = s.driver.call("cancel-at", pid, int(TRIAL_BOUND * 1000), combo.caption,
                              int(delay * 1e6), clicks,
                              *[a.encode("cp1252").decode("latin-1") for a in anchor],
                              timeout=TRIAL_BOUND + 30)
        if len(reply) != 3 or not reply[0].startswith("dialog "):
            raise TrialFailure(f"could not press Cancel: {reply}")
        dialog = int(reply[0].split()[1])
        at_click = None
        if reply[1].startswith("status "):
            at_click = ws.unescape(reply[1][len("status "):]).decode("cp1252")
        kind, _, value = reply[2].partition(" ")
        if kind != "window":
            raise TrialFailure(f"after the Cancel click: {reply[2]} (deadlock?)")
        w = s.dump(int(value.split()[0]))
        if w is None:
            raise TrialFailure("the window after the click vanished")
        question = w.caption == combo.msgs[MSG_CANCEL_CAPTION]
        if question and w.box_text() != combo.msgs[MSG_CANCEL_QUESTION]:
            raise TrialFailure("unexpected Cancel question:\n" + w.describe())
        parked = None
        if question:
            progress = s.dump(dialog)
            parked = progress.child(1007).text if progress is not None else "?"
        if self.kind == "confirmed":
            outcome = self.confirmed(pid, combo, w, question, parked, deadline)
        else:
            outcome = self.refused(pid, combo, w, question, dialog, again, deadline)
        if at_click is None:
            where = "missed (the run ended before the moment)"
        elif parked is None:
            where = "after the last pause point"
        elif combo.is_updating(parked):
            where = "during a rewrite"
        else:
            where = "during checking"
        self.counts[where] = self.counts.get(where, 0) + 1
        if at_click is not None:
            clicked = "a rewrite" if combo.is_updating(at_click) else "checking or between"
            key = f"clicked during {clicked}"
            self.counts[key] = self.counts.get(key, 0) + 1
        return (f"{combo.edition} {combo.direction} clicked at {at_click!r}"
                f" (+{delay * 1000:.1f} ms after {anchor[0]!r}, {clicks} click(s)"
                f"{', again during the question' if again else ''}); {where}"
                f"{'' if parked is None else ', parked at ' + repr(parked)}; {outcome}")

    @staticmethod
    def rows_at(combo, parked):
        """How many whole rows a run parked with this status line has behind it: at a checking
        pause point of row i, i rows; at the start of the row after row i's rewrite, i + 1."""
        rows = set()
        for i, (name, _) in enumerate(transitions(combo.edition, combo.direction)):
            if parked == combo.status(MSG_CHECKING, name):
                rows.add(i)
            if parked == combo.status(MSG_UPDATING, name):
                rows.add(i + 1)
        return rows

    def confirmed(self, pid, combo, w, question, parked, deadline):
        s = self.session
        if question:
            s.click(w.hwnd, 6)
            self.expect_exit(pid, deadline)
        else:
            # The run completed before any pause point saw the request.
            if w.box_text() != combo.msgs[FINAL[combo.direction]]:
                raise TrialFailure("expected the Cancel question or the final message, got:\n"
                                   + w.describe())
            s.click(w.hwnd, 1)
            self.expect_exit(pid, deadline)
        files = sc.read_install(s)
        rows = [r for r, snapshot in enumerate(combo.snapshots)
                if all(sc.matches(files.get(n, b""), snapshot[n], combo.lengths[n])
                       for n in sc.FILES)]
        if not rows:
            detail = []
            for name in sc.FILES:
                states = [st for st in combo.states
                          if sc.matches(files.get(name, b""), combo.states[st][name],
                                        combo.lengths[name])]
                detail.append(f"{name}: {states or 'NO KNOWN STATE'}")
            raise TrialFailure("the files are not those of any whole number of rows: "
                               + "; ".join(detail))
        if not question and len(combo.snapshots) - 1 not in rows:
            raise TrialFailure("the run completed but the files are not all patched")
        if question and not set(rows) & self.rows_at(combo, parked):
            raise TrialFailure(f"parked at {parked!r}, but the files are those after "
                               f"{rows} rows")
        return f"files after {max(rows)} of {len(combo.snapshots) - 1} rows"

    def refused(self, pid, combo, w, question, dialog, again, deadline):
        s = self.session
        if question:
            if again:
                s.click(dialog, 1005)
                # A second question would be a new window; the parked run shows nothing else.
                kind, value = s.next_event(pid, 0.5)
                if kind != "timeout":
                    raise TrialFailure(f"a second click during the question led to {kind}:\n"
                                       + (value.describe() if value else ""))
            s.click(w.hwnd, 7)
        elif not w.is_results_dialog():
            raise TrialFailure("expected the Cancel question or the results, got:\n"
                               + w.describe())
        if question:
            log = self.finish_results(pid, combo, deadline)
        else:
            log = w.child(1000).text
            s.click(w.hwnd, 1002)
            self.expect_exit(pid, deadline)
        if log != combo.reference_log:
            raise TrialFailure(f"results log differs from the run without Cancel:\n{log!r}\n"
                               f"expected\n{combo.reference_log!r}")
        files = sc.read_install(s)
        for name in sc.FILES:
            if files.get(name) != combo.reference_files[name]:
                raise TrialFailure(f"{name} differs from the run without Cancel")
        return "same as without Cancel"

    def report_failure(self, seed, error):
        s = self.session
        print(f"FAILED trial seed {seed}: {error}", flush=True)
        name = s.name
        s.name = f"{name}-seed-{seed}"
        try:
            print("The screen showed:\n" + s.report_screen(), flush=True)
        finally:
            s.name = name
        # Ends the program under test, so that the next trial starts clean.
        try:
            s.driver.call("kill", self.pid, timeout=30)
        except ws.HarnessError:
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config", required=True)
    parser.add_argument("--kind", choices=["confirmed", "refused"], required=True)
    parser.add_argument("--count", type=int, default=6)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--trial", type=str, default=None, help="repeat the trial of this seed")
    parser.add_argument("--budget", type=float, default=600, help="seconds for the whole run")
    args = parser.parse_args()
    with open(args.config) as f:
        config = json.load(f)
    master = args.seed if args.seed is not None else random.SystemRandom().randrange(10**9)
    seeds = [args.trial] if args.trial else [f"{master}-{i}" for i in range(args.count)]
    print(f"{args.kind} trials: seed {master}, {len(seeds)} trial(s)", flush=True)
    started = time.monotonic()
    trials = Trials(config, args.kind, f"trials-{args.kind}")
    failures, done = [], 0
    try:
        trials.open()
        for seed in seeds:
            if time.monotonic() - started > args.budget:
                print(f"FAILED: time budget of {args.budget:.0f} s used up after {done} trials")
                failures.append("budget")
                break
            trials.pid = None
            t0 = time.monotonic()
            try:
                summary = trials.trial(seed)
                print(f"trial {seed}: {summary} [{time.monotonic() - t0:.1f} s]", flush=True)
            except (TrialFailure, ws.HarnessError) as e:
                trials.report_failure(seed, e)
                failures.append(seed)
            done += 1
    finally:
        trials.close()
    counts = ", ".join(f"{k}: {v}" for k, v in sorted(trials.counts.items()))
    print(f"{args.kind}: {done} trials, {len(failures)} failed ({', '.join(failures) or '-'});"
          f" {counts}; {time.monotonic() - started:.0f} s", flush=True)
    if not failures:
        trials.session.discard_prefix()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
