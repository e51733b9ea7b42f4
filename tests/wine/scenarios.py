#!/usr/bin/env python3
"""End-to-end scenarios: the patchers under Wine, driven like a user would drive them.

  scenarios.py --list                       names of all scenarios, one a line
  scenarios.py --config FILE --setup        boot the Wine prefix that every scenario copies
  scenarios.py --config FILE --run NAME     run one scenario

Each scenario is one row of SCENARIOS: the edition, the start state of the sample
installation, changes to the world before the start (registry, "system.ini", a held or
read-only file, a running menu program), then one or more runs of the program, each a list of
the windows expected in order with the answer to give, and finally what must be on disk.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_session as ws  # noqa: E402

FILES = ["Varnok.exe", r"Varnok\Classic.bmp", r"Varnok\Enhanced.bmp", r"Varnok\Text.bmp"]
ROW_TARGETS = {
    "na": ["Varnok.exe"] + FILES,
    "uk": FILES,
    "de": FILES,
}
STATES = {"na": ["older", "regular", "patched"], "uk": ["unpatched", "patched"],
          "de": ["unpatched", "patched"]}
# The state a removal leaves: the North American removal goes back to the regular release.
UNPATCHED = {"na": "regular", "uk": "unpatched", "de": "unpatched"}

# Results-log outcomes, one letter per table row, and their messages.
OUTCOME_MESSAGE = {"P": 11, "U": 9, "N": 8, "R": 10, "O": 21, "I": 15, "W": 16}
PROBLEM_OUTCOMES = set("NROIW")

TITLE, ERROR, CANCEL_CAPTION = "title", "error", "cancel"
YES_NO, OK = [(6, "Yes"), (7, "No")], [(1, "OK")]
# Caption, buttons and icon of each message box, by message number.
BOXES = {
    5: (ERROR, OK, "error"), 17: (TITLE, OK, "error"), 18: (TITLE, OK, "information"),
    22: (ERROR, OK, "error"), 23: (ERROR, OK, "error"), 24: (ERROR, OK, "error"),
    25: (TITLE, YES_NO, "warning"), 26: (TITLE, YES_NO, "question"), 27: (TITLE, OK, "none"),
    29: (TITLE, OK, "none"), 6: (CANCEL_CAPTION, YES_NO, "warning"),
}
ANSWER_ID = {"yes": 6, "no": 7, "ok": 1}
EVENT_TIMEOUT = 60


class Failure(Exception):
    pass


# -- steps of a run -------------------------------------------------------------------------

class Box:
    """A message box with message `number`: checks text, caption and buttons, then answers."""

    def __init__(self, number, answer="ok", shot=None):
        self.number, self.answer, self.shot = number, answer, shot

    def run(self, ctx):
        w = ctx.expect_window(f"message box {self.number}")
        ctx.check_box(w, self.number)
        ctx.take_shot(w, self.shot or f"box{self.number}")
        if self.number in (25, 26) and self.answer == "yes":
            ctx.threads_before = ctx.s.threads(ctx.pid)
        ctx.s.click(w.hwnd, ANSWER_ID[self.answer])


class Results:
    """The results dialog with the log of `outcomes` (one letter per row); with problems the
    problem box comes first. With `try_close`, Escape and the close box must leave it open."""

    def __init__(self, outcomes, try_close=False):
        self.outcomes, self.try_close = outcomes, try_close

    def run(self, ctx):
        problems = bool(set(self.outcomes) & PROBLEM_OUTCOMES)
        if problems:
            Box(22, shot="problem-box").run(ctx)
        w = ctx.expect_window("results dialog")
        if not w.is_results_dialog():
            raise Failure("expected the results dialog, got:\n" + w.describe())
        ctx.equal("results dialog caption", w.caption, ctx.msgs[1])
        ctx.equal("Finish button", w.child(1002).text, ctx.dialog["PATCHER_FINISH_TEXT"])
        ctx.equal("results log", w.child(1000).text, ctx.expected_log(self.outcomes))
        ctx.take_shot(w, "results-problems" if problems else "results")
        if self.try_close:
            self.escape_and_close(ctx, w)
        ctx.s.click(w.hwnd, 1002)

    @staticmethod
    def escape_and_close(ctx, w):
        s = ctx.s
        s.post(w.hwnd, ws.WM_KEYDOWN, ws.VK_ESCAPE, 0x00010001)
        s.post(w.hwnd, ws.WM_KEYUP, ws.VK_ESCAPE, 0xC0010001)
        s.post(w.hwnd, ws.WM_SYSCOMMAND, ws.SC_CLOSE, 0)
        # Two markers in the dialog thread's queue: once the second one has been handled, so has
        # everything that Escape and the close box posted in turn.
        edit = w.child(1000).hwnd
        for start, end in ((1, 4), (2, 6)):
            s.post(edit, ws.EM_SETSEL, start, end)
            deadline = time.monotonic() + 20
            while True:
                try:
                    if s.send(edit, ws.EM_GETSEL) == (end << 16) | start:
                        break
                except ws.HarnessError:
                    raise Failure("Escape or the close box ended the results dialog")
                if time.monotonic() > deadline:
                    raise Failure("the results dialog did not handle posted messages")
                time.sleep(0.01)
        if s.dump(w.hwnd) is None or not s.dump(w.hwnd).top.visible:
            raise Failure("Escape or the close box ended the results dialog")
        if s.wait_exit(ctx.pid, 0) is not None:
            raise Failure("the program ended after Escape or the close box")


class Cancel:
    """Holds the worker while it checks `target` (as a slow machine would), checks the progress
    dialog, optionally presses Escape, presses Cancel, lets the worker go on, and answers the
    Cancel question."""

    def __init__(self, answer, target, escape=False):
        self.answer, self.target, self.escape = answer, target, escape

    def run(self, ctx):
        s = ctx.s
        caption = ctx.dialog["PATCHER_DIALOG_CAPTION"]
        status = ctx.msgs[13].replace("%s", self.target).encode("cp1252").decode("latin-1")
        reply = s.driver.call("freeze", ctx.pid, 30000, caption, status,
                              *sorted(ctx.threads_before), timeout=60)
        if not reply or not reply[0].startswith("window "):
            raise Failure(f"could not catch the progress dialog with its worker: {reply}")
        hwnd = int(reply[0].split()[1])
        frozen = [int(line.split()[1]) for line in reply[1:]]
        try:
            w = s.dump(hwnd)
            self.check_progress(ctx, w)
            ctx.log(f"worker held at status {w.child(1007).text!r}")
            ctx.take_shot(w, "progress")
            if self.escape:
                s.post(hwnd, ws.WM_KEYDOWN, ws.VK_ESCAPE, 0x00010001)
                s.post(hwnd, ws.WM_KEYUP, ws.VK_ESCAPE, 0xC0010001)
            s.click(hwnd, 1005)
        finally:
            for tid in frozen:
                s.resume(tid)
        Box(6, self.answer, shot="cancel-question").run(ctx)

    @staticmethod
    def check_progress(ctx, w):
        ctx.equal("progress dialog caption", w.caption, ctx.msgs[1])
        ctx.equal("Cancel button", w.child(1005).text, ctx.dialog["PATCHER_CANCEL_TEXT"])
        statuses = {ctx.dialog["PATCHER_STATUS_TEXT"]}
        for path in FILES:
            statuses.add(ctx.msgs[13].replace("%s", path))
            statuses.add(ctx.msgs[14].replace("%s", path))
        status = w.child(1007).text
        if status not in statuses:
            raise Failure(f"unexpected status line {status!r}")
        bars = [c for c in w.children if c.cls.lower() == "msctls_progress32"]
        if len(bars) != 1 or bars[0].rect != w.child(1004).rect:
            raise Failure("the progress bar does not cover control 1004:\n" + w.describe())


class Exit:
    """The program ends with exit code 0, and no other window appears before it ends."""

    def run(self, ctx):
        kind, value = ctx.next_event()
        if kind == "window":
            raise Failure("expected the program to end, but a window appeared:\n"
                          + value.describe())
        if kind != "exited":
            raise Failure("the program did not end")
        ctx.equal("exit code", value, 0)


# -- scenario rows --------------------------------------------------------------------------

class Row:
    def __init__(self, name, edition, state, runs, end=None, keep=(),
                 install_path=ws.INSTALL_DIR, key=True, screen_saver=None,
                 expect_screen_saver=None, remove=(), corrupt=(), hold=(), read_only=(),
                 menu=False, expect_install_path="same", install_dir=ws.INSTALL_DIR,
                 install_value=None, ini=None, directories=(), truncate=None, reorder=()):
        self.name, self.edition, self.state, self.runs = name, edition, state, runs
        self.end = end  # state the files must be in afterwards; None: unchanged
        self.keep = set(keep)  # files that must stay as they started
        self.install_path, self.key = install_path, key
        self.screen_saver, self.expect_screen_saver = screen_saver, expect_screen_saver
        self.remove, self.corrupt, self.hold, self.read_only = remove, corrupt, hold, read_only
        self.menu = menu  # a running menu program that holds Varnok.exe open
        self.expect_install_path = expect_install_path
        self.install_dir = install_dir  # where the installation is copied
        # (registry type, bytes[, bytes the registry then holds]) written as "Install Path" in
        # place of a string value
        self.install_value = install_value
        self.ini = ini  # the whole of "system.ini" as bytes, which must then stay unchanged
        self.directories = directories  # targets replaced by a directory of the same name
        self.truncate = truncate or {}  # target: the length it is cut to
        # Targets with two bytes exchanged (same length and byte sum): they must end as their
        # start bytes XOR the mask, which is not the state the run reports.
        self.reorder = reorder


def add_run(verbose, outcomes):
    """An add run answered Yes, ending in the final message or the results dialog."""
    end = [Results(outcomes)] if verbose else [Box(27)]
    return ["/v" if verbose else "", [Box(26, "yes")] + end + [Exit()]]


def remove_run(verbose, outcomes):
    """A removal run answered Yes, ending in the final message or the results dialog."""
    end = [Results(outcomes)] if verbose else [Box(29)]
    return ["/v" if verbose else "", [Box(25, "yes")] + end + [Exit()]]


REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4


def ini_with(value):
    """A "system.ini" whose boot section holds SCRNSAVE.EXE with the given bytes."""
    return (b"[boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=" + value
            + b"\r\n\r\n[drivers]\r\nwave=mmdrv.dll\r\n")


def bad_input_rows():
    """Odd "system.ini" entries, registry values and targets: what each one leads to."""
    declined = [["", [Box(26, "no"), Exit()]]]
    repaired = [["", [Box(18), Box(26, "no"), Exit()]]]
    gone_then_not_found = [["", [Box(17), Exit()]], ["", [Box(5), Exit()]]]
    long_path = b"C:\\" + b"x" * 4993
    rows = [
        # The profile read cuts a value to the 1024-character buffer, so the check sees its
        # first 1023 characters: a long value ending in ".ttf" is not recognised.
        Row("ini-no-boot-section", "na", "regular", declined,
            ini=b"[drivers]\r\nwave=mmdrv.dll\r\n"),
        Row("ini-long-value-ttf", "na", "regular", declined, ini=ini_with(long_path + b".ttf")),
        Row("ini-long-value-scr", "na", "regular", declined, ini=ini_with(long_path + b".scr")),
        Row("ini-binary-value", "na", "regular", declined,
            ini=ini_with(b"\x01\x02\x1b\x7f\x80\x81\x9d\xa0\xdf\xff.tt")),
        Row("ini-binary-value-ttf", "na", "regular", repaired,
            ini=ini_with(b"\x01\x02\x1b\x7f\x80\x81\x9d\xa0\xdf\xff.TTF"),
            expect_screen_saver="deleted"),
        Row("ini-value-just-ttf", "na", "regular", repaired, screen_saver=".ttf",
            expect_screen_saver=None),
        # Registry values of other types: the type is not looked at, the bytes are.
        Row("reg-dword", "na", "regular", gone_then_not_found,
            install_value=(REG_DWORD, b"\x01\x00\x00\x00"), expect_install_path=None),
        Row("reg-binary-path", "na", "regular", declined,
            install_value=(REG_BINARY, ws.INSTALL_DIR.encode("cp1252"))),
        Row("reg-binary-bytes", "na", "regular", gone_then_not_found,
            install_value=(REG_BINARY, b"\xff\xfe\x00\x01"), expect_install_path=None),
        Row("reg-empty-string", "na", "regular", gone_then_not_found,
            install_value=(REG_SZ, b"\x00"), expect_install_path=None),
        # 1024 bytes without a terminator fill the buffer: not a usable path, and the value is
        # left alone (the program only deletes a value that it could read). Written as a
        # string, the registry stores it with a terminator (1025 bytes), which does not fit.
        Row("reg-1024-unterminated", "na", "regular", [["", [Box(5), Exit()]]],
            install_value=(REG_BINARY, b"C:\\Games\\Varnok" + b"a" * (1024 - 15))),
        Row("reg-1024-string", "na", "regular", [["", [Box(5), Exit()]]],
            install_value=(REG_SZ, b"C:\\Games\\Varnok" + b"a" * (1024 - 15),
                           b"C:\\Games\\Varnok" + b"a" * (1024 - 15) + b"\x00")),
        # The value is read in code page 1252 and the directory found by that name.
        Row("reg-non-ascii-path", "na", "regular",
            [["/v", [Box(26, "yes"), Results("UPPPP"), Exit()]]], end="patched",
            install_dir="C:\\Spiele\\Gr\u00f6\u00dfe", install_path="C:\\Spiele\\Gr\u00f6\u00dfe"),
        # Targets that are not what the table knows.
        Row("target-is-directory", "na", "regular", [["", [Box(23), Exit()]]],
            directories=[r"Varnok\Text.bmp"]),
        Row("target-empty", "na", "regular", [["", [Box(24), Exit()]]],
            truncate={r"Varnok\Text.bmp": 0}),
        Row("target-one-byte-short", "uk", "unpatched", [["", [Box(24), Exit()]]],
            truncate={r"Varnok\Classic.bmp": -1}),
        # Same length and byte sum: the survey and the run accept it and report success; the
        # result is not the patched picture, and the next start no longer recognises it.
        Row("target-reordered", "uk", "unpatched",
            [["", [Box(26, "yes"), Box(27), Exit()]], ["", [Box(24), Exit()]]], end="patched",
            reorder=[r"Varnok\Text.bmp"]),
    ]
    return rows


def build_rows():
    rows = []
    # Adding and removing, every edition, every accepted start state, with and without /v.
    for verbose in (False, True):
        v = "-v" if verbose else ""
        rows += [
            Row(f"na-add-older{v}", "na", "older",
                [add_run(verbose, "PPPPP")], end="patched"),
            Row(f"na-add-regular{v}", "na", "regular",
                [add_run(verbose, "UPPPP")], end="patched"),
            Row(f"na-remove{v}", "na", "patched",
                [remove_run(verbose, "UPPPP")], end="regular"),
        ]
        for ed in ("uk", "de"):
            rows += [
                Row(f"{ed}-add{v}", ed, "unpatched", [add_run(verbose, "PPPP")],
                    end="patched"),
                Row(f"{ed}-remove{v}", ed, "patched", [remove_run(verbose, "PPPP")],
                    end="unpatched"),
            ]
    # A removal from what an adding run left behind (files that kept their old length).
    rows += [
        Row("na-add-then-remove", "na", "older",
            [add_run(False, ""), remove_run(True, "UPPPP")], end="regular"),
        Row("de-add-then-remove", "de", "unpatched",
            [add_run(False, ""), remove_run(True, "PPPP")], end="unpatched"),
    ]
    # The exits of the start-up flow.
    rows += [
        Row("e1-no-key", "na", "regular", [["", [Box(5), Exit()]]], key=False),
        Row("e2-no-value", "na", "regular", [["", [Box(5), Exit()]]], install_path=None),
        Row("e6-removal-declined", "na", "patched", [["", [Box(25, "no"), Exit()]]]),
    ]
    for ed in ("na", "de"):
        rows += [
            Row(f"{ed}-e3-missing-directory", ed, STATES[ed][0],
                [["", [Box(17), Exit()]], ["", [Box(5), Exit()]]],
                install_path=r"C:\Games\Gone", expect_install_path=None),
            Row(f"{ed}-e4-missing-file", ed, STATES[ed][0], [["", [Box(23), Exit()]]],
                remove=[r"Varnok\Text.bmp"]),
            Row(f"{ed}-e5-unrecognised", ed, STATES[ed][0], [["", [Box(24), Exit()]]],
                corrupt=[r"Varnok\Enhanced.bmp"]),
        ]
    for ed in ("na", "uk", "de"):
        rows.append(Row(f"{ed}-e7-add-declined", ed, STATES[ed][0],
                        [["", [Box(26, "no"), Exit()]]]))
    # Quiet mode: the add question is still asked; the removal question and the error boxes
    # are not shown.
    rows += [
        Row("quiet-add", "na", "older", [["/q", [Box(26, "yes"), Exit()]]], end="patched"),
        Row("quiet-patched", "na", "patched", [["/Q", [Exit()]]]),
        Row("quiet-no-key", "na", "regular", [["/quiet", [Exit()]]], key=False),
        Row("quiet-unrecognised", "de", "unpatched", [["/q", [Exit()]]],
            corrupt=[r"Varnok\Classic.bmp"]),
        Row("quiet-verbose", "uk", "unpatched",
            [["/q /v", [Box(26, "yes"), Results("PPPP"), Exit()]]], end="patched"),
    ]
    # The screen-saver repair, with and without an installed game.
    for ed in ("na", "de"):
        rows += [
            Row(f"{ed}-screensaver-repair", ed, STATES[ed][0],
                [["", [Box(18), Box(26, "no"), Exit()]]],
                screen_saver=r"C:\FONTS\X.TTF", expect_screen_saver=None),
            Row(f"{ed}-screensaver-no-game", ed, STATES[ed][0],
                [["", [Box(18), Box(5), Exit()]]], key=False,
                screen_saver=r"C:\FONTS\X.TTF", expect_screen_saver=None),
        ]
    rows.append(Row("screensaver-left-alone", "na", "older",
                    [["", [Box(26, "no"), Exit()]]],
                    screen_saver="ttf", expect_screen_saver="ttf"))
    rows += bad_input_rows()
    # A running menu program that holds its executable open is closed before the run, so the
    # executable can be rewritten.
    rows.append(Row("menu-program-closed", "na", "regular",
                    [["/v", [Box(26, "yes"), Results("UPPPP"), Exit()]]], end="patched",
                    menu=True))
    # A target held open by another program, and a read-only target.
    for ed in ("na", "de"):
        outcomes = "UPPOP" if ed == "na" else "PPOP"
        rows.append(Row(f"{ed}-held-target", ed, UNPATCHED[ed],
                        [["", [Box(26, "yes"), Results(outcomes), Exit()]]], end="patched",
                        keep=[r"Varnok\Enhanced.bmp"], hold=[r"Varnok\Enhanced.bmp"]))
    rows.append(Row("read-only-target", "na", "older",
                    [["", [Box(26, "yes"), Box(27), Exit()]]], end="patched",
                    read_only=[r"Varnok\Classic.bmp", "Varnok.exe"]))
    # Cancel: refused (after an Escape that must not end the dialog), and confirmed.
    rows.append(Row("cancel-refused", "na", "older",
                    [["/v", [Box(26, "yes"), Cancel("no", r"Varnok\Enhanced.bmp", escape=True),
                             Results("PPPPP"), Exit()]]], end="patched"))
    for ed in ("na", "de"):
        rows.append(Row(f"{ed}-cancel-confirmed", ed, STATES[ed][0],
                        [["", [Box(26, "yes"), Cancel("yes", r"Varnok\Classic.bmp"), Exit()]]],
                        end="patched", keep=FILES[1:]))
    # The results dialog stays open on Escape and on its close box.
    rows.append(Row("results-escape-and-close", "na", "regular",
                    [["/v", [Box(26, "yes"), Results("UPPPP", try_close=True), Exit()]]],
                    end="patched"))
    return {row.name: row for row in rows}


SCENARIOS = build_rows()


# -- running a row --------------------------------------------------------------------------

class Context:
    def __init__(self, session, row, config):
        self.s = session
        self.config = config
        self.row = row
        self.edition = row.edition
        self.msgs = ws.read_messages(config["editions"], row.edition)
        self.dialog = ws.read_dialog_texts(config["editions"], row.edition)
        self.pid = None
        self.threads_before = set()
        self.icons = None
        self.step = 0
        self.run_index = 0

    def log(self, text):
        print(f"[{self.row.name}] {text}", flush=True)

    def equal(self, what, actual, expected):
        if actual != expected:
            raise Failure(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")

    def next_event(self):
        while True:
            kind, value = self.s.next_event(self.pid, EVENT_TIMEOUT)
            # The progress dialog may or may not be caught on screen; scenarios that act on it
            # catch it themselves.
            if kind == "window" and value is None:
                continue
            if kind == "window" and value.is_progress_dialog():
                continue
            return kind, value

    def expect_window(self, what):
        kind, value = self.next_event()
        if kind == "exited":
            raise Failure(f"expected the {what}, but the program ended with code {value}")
        if kind != "window":
            raise Failure(f"expected the {what}, but nothing appeared in {EVENT_TIMEOUT} s")
        return value

    def caption(self, kind):
        return {TITLE: self.msgs[1], ERROR: self.msgs[4], CANCEL_CAPTION: self.msgs[7]}[kind]

    def check_box(self, w, number):
        caption_kind, buttons, icon = BOXES[number]
        if w.is_results_dialog() or w.is_progress_dialog():
            raise Failure(f"expected message box {number}, got:\n" + w.describe())
        self.equal(f"text of box {number}", w.box_text(), self.msgs[number])
        self.equal(f"caption of box {number}", w.caption, self.caption(caption_kind))
        actual = [(b.id, b.text.replace("&", "")) for b in w.buttons()]
        self.equal(f"buttons of box {number}", sorted(actual), buttons)
        if self.icons is None:
            self.icons = self.s.reference_icons(os.path.join(self.config["work"], "icons"))
        self.equal(f"icon of box {number}", self.s.icon_kind(w, self.icons), icon)

    def take_shot(self, w, label):
        self.step += 1
        filename = f"{self.row.name}-{self.run_index + 1}.{self.step}-{label}.png"
        self.s.screenshot(filename, w.top.rect, w.hwnd)

    def expected_log(self, outcomes):
        text = self.msgs[12] + "\r\n\r\n"
        for i, outcome in enumerate(outcomes):
            text += self.msgs[OUTCOME_MESSAGE[outcome]].replace("%s", ROW_TARGETS[self.edition][i])
            if self.edition == "na" and i < 2:
                text += self.msgs[28].replace("%d", str(i + 1))
            text += "\r\n"
        return text


def make_states(config):
    """Makes every known state of every edition with make-sample, once per test run."""
    for edition, states in STATES.items():
        for state in states:
            directory = os.path.join(config["work"], "states", edition, state)
            if os.path.exists(directory):
                shutil.rmtree(directory)
            os.makedirs(directory)
            subprocess.run([config["make_sample"], edition, state, directory], check=True,
                           timeout=60)


def state_dir(config, edition, state):
    return os.path.join(config["work"], "states", edition, state)


def state_files(config, edition):
    """{state: {file: bytes}} of every known state of the edition."""
    result = {}
    for state in STATES[edition]:
        result[state] = {}
        for name in FILES:
            path = os.path.join(state_dir(config, edition, state), *name.split("\\"))
            with open(path, "rb") as f:
                result[state][name] = f.read()
    return result


def matches(actual, expected, lengths):
    """Equal, or (for a file that a shrinking row patched) the expected bytes followed by zero
    bytes up to a length that the file has in one of its known states."""
    if actual == expected:
        return True
    n = len(expected)
    return (len(actual) > n and len(actual) in lengths and actual[:n] == expected
            and actual[n:].count(0) == len(actual) - n)


def reorder(ctx, path, name):
    """Exchanges two bytes of the file whose masked values differ, so that the file keeps its
    length and byte sum, but after the rewrite its byte sum is neither state's."""
    states = state_files(ctx.config, ctx.row.edition)
    old, new = states[ctx.row.state][name], states[ctx.row.end][name]
    if len(old) != len(new):
        raise ws.HarnessError(f"{name} changes its length; pick a target that keeps it")
    with open(path, "rb") as f:
        data = bytearray(f.read())
    for i in range(54, len(data)):
        j = i + 1
        a, b, mi, mj = data[i], data[j], old[i] ^ new[i], old[j] ^ new[j]
        if a != b and (a ^ mj) + (b ^ mi) != (a ^ mi) + (b ^ mj):
            data[i], data[j] = b, a
            break
    else:
        raise ws.HarnessError(f"no two bytes of {name} to exchange")
    with open(path, "wb") as f:
        f.write(data)
    ctx.log(f"{name}: bytes {i} and {j} exchanged")


def read_install(session, install_dir=ws.INSTALL_DIR):
    files = {}
    for name in FILES:
        path = os.path.join(session.c_path(install_dir), *name.split("\\"))
        if os.path.isfile(path):
            with open(path, "rb") as f:
                files[name] = f.read()
    return files


def prepare(ctx, row):
    s = ctx.s
    root = s.c_path(row.install_dir)
    shutil.copytree(state_dir(ctx.config, row.edition, row.state), root)
    for name in row.remove:
        os.remove(os.path.join(root, *name.split("\\")))
    for name in row.directories:
        path = os.path.join(root, *name.split("\\"))
        os.remove(path)
        os.makedirs(path)
    for name, length in row.truncate.items():
        path = os.path.join(root, *name.split("\\"))
        with open(path, "r+b") as f:
            f.truncate(length if length >= 0 else os.path.getsize(path) + length)
    for name in row.reorder:
        reorder(ctx, os.path.join(root, *name.split("\\")), name)
    for name in row.corrupt:
        path = os.path.join(s.install_dir, *name.split("\\"))
        with open(path, "r+b") as f:
            f.seek(1000)
            byte = f.read(1)
            f.seek(1000)
            f.write(bytes([byte[0] ^ 0x01]))
    if row.key and row.install_value is not None:
        kind, data = row.install_value[:2]
        s.driver.one("reg-set-raw", ws.KEY, "Install Path", kind, data.hex().upper())
    elif row.key and row.install_path is not None:
        s.set_install_path(row.install_path)
    elif row.key:
        s.driver.one("reg-set", ws.KEY, "Other Value", "x")
    else:
        s.delete_key()
    if row.ini is not None:
        with open(s.system_ini_path(), "wb") as f:
            f.write(row.ini)
    else:
        s.write_system_ini(row.screen_saver)
    for name in row.read_only:
        s.attributes(ws.INSTALL_DIR + "\\" + name, ws.FILE_ATTRIBUTE_READONLY)
        if not s.attributes(ws.INSTALL_DIR + "\\" + name) & ws.FILE_ATTRIBUTE_READONLY:
            raise ws.HarnessError(f"could not make {name} read-only")
    for name in row.hold:
        s.driver.one("hold", ws.INSTALL_DIR + "\\" + name)
    if row.menu:
        ctx.menu_pid = s.start(r"C:\patcher\menu-standin.exe C:\standin-closed.txt "
                               + ws.INSTALL_DIR + "\\Varnok.exe")
        kind, value = s.next_event(ctx.menu_pid, EVENT_TIMEOUT)
        if kind != "window" or value is None or value.top.cls != "QuintorVarnok":
            raise ws.HarnessError(f"the menu stand-in did not show its window: {kind}")


def check_files(ctx, row, before, states):
    after = read_install(ctx.s, row.install_dir)
    lengths = {name: {len(states[st][name]) for st in states} for name in FILES}
    for name in row.directories:
        if not os.path.isdir(os.path.join(ctx.s.c_path(row.install_dir), *name.split("\\"))):
            raise Failure(f"{name} is no longer a directory")
    for name in FILES:
        actual = after.get(name)
        if name in row.reorder:
            # The start bytes XOR the mask (the difference of the two states).
            mask = bytes(x ^ y for x, y in zip(states[row.state][name], states[row.end][name]))
            expected = bytes(x ^ y for x, y in zip(before[name], mask))
            ctx.equal(f"{name}: start bytes XOR the mask", actual, expected)
            if actual == states[row.end][name]:
                raise Failure(f"{name} is in state {row.end} after all")
            continue
        if name in row.keep or row.end is None:
            ok = actual == before.get(name)
            wanted = "unchanged"
        else:
            ok = actual is not None and matches(actual, states[row.end][name], lengths[name])
            wanted = f"in state {row.end}"
        if not ok:
            size = "absent" if actual is None else f"{len(actual)} bytes"
            raise Failure(f"{name} is not {wanted} ({size}, byte sum "
                          f"{sum(actual) if actual else 0})")


def check_world(ctx, row, before, states):
    s = ctx.s
    check_files(ctx, row, before, states)
    if row.key and row.install_value is not None:
        kind, data = row.install_value[0], row.install_value[-1]
        expected = (f"data {kind} {data.hex().upper()}" if row.expect_install_path == "same"
                    else "missing")
        ctx.equal("registry value Install Path",
                  s.driver.one("reg-get-raw", ws.KEY, "Install Path"), expected)
    elif row.key:
        expected = row.install_path if row.expect_install_path == "same" else None
        ctx.equal("registry value Install Path", s.install_path(), expected)
    ini = s.read_system_ini()
    has_entry = "SCRNSAVE.EXE=" in ini
    if row.ini is not None and row.expect_screen_saver == "deleted":
        if has_entry or "wave=mmdrv.dll" not in ini:
            raise Failure(f"system.ini should have lost only its SCRNSAVE.EXE entry:\n{ini!r}")
    elif row.ini is not None:
        if ini.encode("latin-1") != row.ini:
            raise Failure(f"system.ini changed:\n{ini[:300]!r}")
    elif row.expect_screen_saver is None:
        if has_entry:
            raise Failure(f"system.ini still has the SCRNSAVE.EXE entry:\n{ini}")
    elif f"SCRNSAVE.EXE={row.expect_screen_saver}\r\n" not in ini:
        raise Failure(f"system.ini lost its SCRNSAVE.EXE entry:\n{ini}")
    for name in row.read_only:
        attributes = s.attributes(ws.INSTALL_DIR + "\\" + name)
        if attributes & ws.FILE_ATTRIBUTE_READONLY:
            raise Failure(f"{name} is still read-only")
    if row.menu:
        if not os.path.exists(s.c_path(r"C:\standin-closed.txt")):
            raise Failure("the menu program did not receive WM_CLOSE")
        if s.wait_exit(ctx.menu_pid, 20) != 0:
            raise Failure("the menu program did not end after WM_CLOSE")


def run_row(config, name):
    row = SCENARIOS[name]
    session = ws.Session(config, name)
    ctx = Context(session, row, config)
    started = time.monotonic()
    ok = False
    try:
        session.open()
        states = state_files(config, row.edition)
        prepare(ctx, row)
        before = read_install(session, row.install_dir)
        for ctx.run_index, (args, steps) in enumerate(row.runs):
            exe = f"C:\\patcher\\patcher-{row.edition}.exe"
            ctx.log(f"run {ctx.run_index + 1}: {exe} {args}".rstrip())
            ctx.pid = session.start(f'"{exe}" {args}'.rstrip())
            ctx.step = 0
            for step in steps:
                step.run(ctx)
        check_world(ctx, row, before, states)
        ok = True
    except (Failure, ws.HarnessError) as e:
        print(f"FAILED {name}: {e}", flush=True)
        print("The screen showed:\n" + session.report_screen(), flush=True)
    finally:
        session.close()
        if ok:
            session.discard_prefix()
    print(f"{name}: {'passed' if ok else 'FAILED'} in {time.monotonic() - started:.1f} s",
          flush=True)
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--setup", action="store_true")
    parser.add_argument("--run")
    args = parser.parse_args()
    if args.list:
        print("\n".join(SCENARIOS))
        return 0
    with open(args.config) as f:
        config = json.load(f)
    if args.setup:
        started = time.monotonic()
        make_states(config)
        for stale in ("icons", "screenshots", "cases"):
            shutil.rmtree(os.path.join(config["work"], stale), ignore_errors=True)
        ws.boot_template(os.path.join(config["work"], "template"))
        print(f"template prefix booted in {time.monotonic() - started:.1f} s")
        return 0
    if args.run not in SCENARIOS:
        print(f"no scenario {args.run!r}")
        return 2
    return run_row(config, args.run)


if __name__ == "__main__":
    sys.exit(main())
