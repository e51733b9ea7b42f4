"""Wine sessions for the end-to-end tests: a virtual display, a Wine prefix of the test's own,
and the UI driver that runs inside it.

Everything a session starts it ends itself: the Xvfb by its process id and the Wine processes
with `wineserver -k` for its own prefix. Nothing is ever killed by name.
"""

import os
import queue
import re
import shutil
import subprocess
import threading
import time

KEY = r"Software\Kelvane Interactive\Quintor Varnok Hits"
INSTALL_DIR = r"C:\Games\Varnok"

# Driver replies and window messages that the scenarios use.
WM_CLOSE = 0x0010
WM_KEYDOWN = 0x0100
WM_KEYUP = 0x0101
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
VK_ESCAPE = 0x1B
EM_SETSEL = 0x00B1
EM_GETSEL = 0x00B0
FILE_ATTRIBUTE_READONLY = 0x1
ICON_FLAGS = {"error": 0x10, "question": 0x20, "warning": 0x30, "information": 0x40}


class HarnessError(Exception):
    """A step of the harness itself failed (not the program under test)."""


def unescape(text):
    """Turns the driver's escaped text back into the exact bytes the window held."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text) and text[i + 1] == "\\":
            out.append(0x5C)
            i += 2
        elif c == "\\" and i + 3 < len(text) and text[i + 1] == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out.append(ord(c))
            i += 1
    return bytes(out)


class Control:
    """One line of the driver's dump: a window or one of its child controls."""

    def __init__(self, line):
        f = line.split("\t")
        self.hwnd = int(f[1])
        self.id = int(f[2])
        self.cls = f[3]
        self.style = int(f[4])
        self.visible = f[5] == "1"
        self.enabled = f[6] == "1"
        self.rect = (int(f[7]), int(f[8]), int(f[9]), int(f[10]))
        # Window texts come back in the ANSI code page, which is 1252 here.
        self.text = unescape(f[11] if len(f) > 11 else "").decode("cp1252")

    def __repr__(self):
        return f"{self.cls}#{self.id} {self.text!r}"


class Window:
    """A top-level window as the driver read it: the window and its children."""

    def __init__(self, controls):
        self.top = controls[0]
        self.children = controls[1:]

    @property
    def hwnd(self):
        return self.top.hwnd

    @property
    def caption(self):
        return self.top.text

    def child(self, control_id):
        for c in self.children:
            if c.id == control_id:
                return c
        return None

    def buttons(self):
        return [c for c in self.children if c.cls.lower() == "button" and c.visible]

    def box_text(self):
        """The text of a message box: its one visible static that is not the icon."""
        statics = [c for c in self.children
                   if c.cls.lower() == "static" and c.visible and c.text]
        return statics[0].text if len(statics) == 1 else None

    def is_progress_dialog(self):
        return self.child(1005) is not None and self.child(1007) is not None

    def is_results_dialog(self):
        return self.child(1002) is not None and self.child(1000) is not None

    def describe(self):
        lines = [f"window {self.top.hwnd} class {self.top.cls} caption {self.caption!r}"
                 f" visible {self.top.visible} rect {self.top.rect}"]
        for c in self.children:
            lines.append(f"  {c.cls} id {c.id} visible {c.visible} enabled {c.enabled}"
                         f" text {c.text!r}")
        return "\n".join(lines)


class Driver:
    """The UI driver process, spoken to over its standard input and output."""

    def __init__(self, argv, env):
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, env=env, text=True,
                                     encoding="latin-1")
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def call(self, *fields, timeout=60):
        """Sends one command and returns its reply lines (without the closing "end")."""
        command = "\t".join(str(f) for f in fields)
        try:
            self.proc.stdin.write(command + "\n")
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError) as e:
            raise HarnessError(f"driver gone before {command!r}: {e}")
        reply = []
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                raise HarnessError(f"driver did not answer {command!r} within {timeout} s")
            if line is None:
                raise HarnessError(f"driver ended while answering {command!r}")
            if line == "end":
                return reply
            reply.append(line)

    def one(self, *fields, timeout=60):
        reply = self.call(*fields, timeout=timeout)
        if len(reply) != 1 or reply[0].startswith("error"):
            raise HarnessError(f"driver: {fields[0]} answered {reply}")
        return reply[0]

    def quit(self):
        try:
            self.call("quit", timeout=10)
        except HarnessError:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass


def wine_env(prefix, display):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": os.path.abspath(prefix),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "DISPLAY": display,
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    return env


def start_xvfb():
    """Starts Xvfb on a display number that it picks itself; returns (process, ":N")."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as r:
        while not number.endswith(b"\n"):
            chunk = r.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        proc.kill()
        raise HarnessError("Xvfb did not report a display number")
    return proc, ":" + number.decode().strip()


def stop_process(proc):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def boot_template(prefix):
    """Boots the Wine prefix that every test copies."""
    if os.path.exists(prefix):
        shutil.rmtree(prefix)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    xvfb, display = start_xvfb()
    try:
        env = wine_env(prefix, display)
        subprocess.run(["wineboot", "-i"], env=env, check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Wine draws the window frames itself (there is no window manager on the virtual
        # display), so captions show in screenshots; a crash shows no dialog that would wait.
        for args in ([r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N"],
                     [r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                      "/d", "0"]):
            subprocess.run(["wine", "reg", "add"] + args + ["/f"], env=env, check=True,
                           timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Waits until the prefix's wineserver has written the registry and ended.
        subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
    finally:
        stop_process(xvfb)


def copy_prefix(template, prefix):
    """Copies the template prefix. The DLLs under windows/system32 and windows/syswow64 are
    only ever read, so they are hard-linked; every other file is copied, because Wine rewrites
    some of them in place (system.ini and win.ini through the profile functions)."""
    shared = [os.path.join(template, "drive_c", "windows", d) for d in ("system32", "syswow64")]
    for root, dirs, files in os.walk(template):
        target_root = os.path.join(prefix, os.path.relpath(root, template))
        os.makedirs(target_root, exist_ok=True)
        shutil.copystat(root, target_root)
        link = any(root == d or root.startswith(d + os.sep) for d in shared)
        for name in files + [d for d in dirs if os.path.islink(os.path.join(root, d))]:
            source, target = os.path.join(root, name), os.path.join(target_root, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), target)
            elif link:
                os.link(source, target)
            else:
                shutil.copy2(source, target)


def colours(rgb):
    """The distinct colours of raw RGB pixels."""
    return {rgb[i:i + 3] for i in range(0, len(rgb), 3)}


class Desktop:
    """A display with the UI driver running on it: what a user sees and does."""

    def __init__(self, driver=None, display=None, shots=None):
        self.driver, self.display, self.shots = driver, display, shots

    # -- the program ------------------------------------------------------------------------

    def start(self, command_line):
        return int(self.driver.one("start", command_line).split()[1])

    def next_event(self, pid, timeout=30):
        """The next new visible window of the process, or its exit.

        Returns ("window", Window), ("exited", code) or ("timeout", None).
        """
        reply = self.driver.one("next", pid, int(timeout * 1000), timeout=timeout + 30)
        kind, _, value = reply.partition(" ")
        if kind == "window":
            return kind, self.dump(int(value))
        if kind == "exited":
            return kind, int(value)
        return kind, None

    def dump(self, hwnd):
        reply = self.driver.call("dump", hwnd)
        if not reply or reply[0].startswith("error"):
            return None
        return Window([Control(line) for line in reply])

    def click(self, hwnd, control_id):
        self.driver.one("click", hwnd, control_id)

    def post(self, hwnd, message, wparam=0, lparam=0):
        self.driver.one("post", hwnd, message, wparam, lparam)

    def send(self, hwnd, message, wparam=0, lparam=0):
        return int(self.driver.one("send", hwnd, message, wparam, lparam).split()[1])

    def threads(self, pid):
        return {int(line.split()[1]) for line in self.driver.call("threads", pid)}

    def suspend(self, tid):
        self.driver.one("suspend", tid)

    def resume(self, tid):
        self.driver.one("resume", tid)

    def find(self, pid, caption):
        reply = self.driver.one("find", pid, caption)
        return None if reply == "none" else int(reply.split()[1])

    def wait_exit(self, pid, timeout=30):
        reply = self.driver.one("wait-exit", pid, int(timeout * 1000), timeout=timeout + 30)
        return int(reply.split()[1]) if reply.startswith("exited") else None

    # -- what the screen shows --------------------------------------------------------------

    def visible_windows(self):
        result = []
        for line in self.driver.call("windows", timeout=30):
            if line.startswith("window "):
                _, hwnd, pid = line.split()
                w = self.dump(int(hwnd))
                if w is not None:
                    result.append((int(pid), w))
        return result

    def grab(self, target, rect=None):
        """The screen, or a rectangle of it, written to `target` (a file, or "rgb:-" for raw
        pixels, which are returned)."""
        argv = ["import", "-display", self.display, "-window", "root"]
        if rect is not None:
            x, y, w, h = rect
            argv += ["-crop", f"{w}x{h}+{max(0, x)}+{max(0, y)}", "+repage"]
        done = subprocess.run(argv + [target], check=True, timeout=60, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        return done.stdout

    def screenshot(self, filename, rect=None, hwnd=None):
        """Saves the screen, or the given window rectangle of it, as a PNG; returns its path.
        With `hwnd`, that window is repainted first."""
        if hwnd is not None:
            self.driver.call("paint", hwnd)
        path = os.path.join(self.shots, filename)
        self.grab(path, rect)
        return path

    def icon_kind(self, window, references, timeout=10):
        """Which reference icon the message box shows ("none" when it shows none), by its
        pixels; polls until it matches one, within the time bound."""
        icons = [c for c in window.children if c.cls.lower() == "static" and c.style & 0xF == 3]
        if not icons or not icons[0].visible:
            return "none"
        deadline = time.monotonic() + timeout
        while True:
            self.driver.call("paint", window.hwnd)
            pixels = self.grab("rgb:-", icons[0].rect)
            for kind, reference in references.items():
                if pixels == reference:
                    return kind
            # Without an icon the box shrinks the icon's place below the size of an icon.
            if all(len(pixels) < len(reference) for reference in references.values()):
                return "none"
            if time.monotonic() > deadline:
                return "unknown"
            time.sleep(0.05)

    def reference_icons(self, cache):
        """Pixels of the four message-box icons, from boxes that the driver shows itself; kept
        in `cache` for the next tests."""
        references = {}
        os.makedirs(cache, exist_ok=True)
        for kind, flag in ICON_FLAGS.items():
            path = os.path.join(cache, kind + ".rgb")
            if not os.path.exists(path):
                caption = "reference " + kind
                self.driver.one("show-box", caption, flag)
                deadline = time.monotonic() + 30
                while (hwnd := self.find(0, caption)) is None or not self.dump(hwnd).top.visible:
                    if time.monotonic() > deadline:
                        raise HarnessError("the reference box did not appear")
                    time.sleep(0.02)
                box = self.dump(hwnd)
                icon = [c for c in box.children if c.cls.lower() == "static" and c.style & 0xF == 3]
                pixels, previous = None, b""
                while pixels != previous or len(colours(pixels)) < 3:
                    if time.monotonic() > deadline:
                        raise HarnessError("the reference icon did not settle")
                    previous = pixels
                    self.driver.call("paint", hwnd)
                    pixels = self.grab("rgb:-", icon[0].rect)
                self.click(hwnd, 1)
                with open(path + ".tmp", "wb") as f:
                    f.write(pixels)
                os.replace(path + ".tmp", path)
            with open(path, "rb") as f:
                references[kind] = f.read()
        return references


class Session(Desktop):
    """One test's world: display, prefix, driver, installation."""

    def __init__(self, config, name):
        super().__init__()
        self.config = config
        self.name = name
        self.dir = os.path.join(config["work"], "cases", name)
        if os.path.exists(self.dir):
            shutil.rmtree(self.dir)
        os.makedirs(self.dir)
        self.prefix = os.path.join(self.dir, "prefix")
        self.shots = os.path.join(config["work"], "screenshots")
        os.makedirs(self.shots, exist_ok=True)
        self.xvfb = None
        self.env = None

    # -- life cycle -------------------------------------------------------------------------

    def open(self):
        template = os.path.join(self.config["work"], "template")
        if not os.path.isdir(template):
            raise HarnessError("no template prefix: run the wine.prefix fixture first")
        copy_prefix(template, self.prefix)
        self.xvfb, self.display = start_xvfb()
        self.env = wine_env(self.prefix, self.display)
        tools = os.path.join(self.prefix, "drive_c", "patcher")
        os.makedirs(tools)
        for path in [self.config["driver"], self.config["standin"]] + list(
                self.config["patchers"].values()):
            shutil.copy(path, tools)
        self.driver = Driver(["wine", r"C:\patcher\wine-driver.exe"], self.env)
        self.driver.one("release", timeout=120)  # the first answer shows the driver is up

    def close(self):
        if self.driver is not None:
            self.driver.quit()
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        stop_process(self.xvfb)

    def discard_prefix(self):
        shutil.rmtree(self.prefix, ignore_errors=True)

    # -- the world outside the program ------------------------------------------------------

    def c_path(self, windows_path):
        """The Unix path of a path on drive C."""
        assert windows_path[:3].upper() == "C:\\"
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    @property
    def install_dir(self):
        return self.c_path(INSTALL_DIR)

    def set_install_path(self, value=INSTALL_DIR):
        self.driver.one("reg-set", KEY, "Install Path", value)

    def install_path(self):
        reply = self.driver.one("reg-get", KEY, "Install Path")
        return None if reply == "missing" else unescape(reply[5:]).decode("cp1252")

    def delete_key(self):
        self.driver.one("reg-delete-key", KEY)

    def system_ini_path(self):
        return self.c_path(r"C:\windows\system.ini")

    def write_system_ini(self, screen_saver):
        lines = ["[boot]"]
        if screen_saver is not None:
            lines.append(f"SCRNSAVE.EXE={screen_saver}")
        lines += ["", "[drivers]", "wave=mmdrv.dll", ""]
        with open(self.system_ini_path(), "w", newline="\r\n") as f:
            f.write("\n".join(lines))

    def read_system_ini(self):
        with open(self.system_ini_path(), "rb") as f:
            return f.read().decode("latin-1")

    def attributes(self, windows_path, new=None):
        args = ["attrib", windows_path] + ([] if new is None else [new])
        return int(self.driver.one(*args).split()[1])

    def report_screen(self):
        """What the screen shows, for a failure message, and a screenshot of it."""
        lines = []
        try:
            for pid, w in self.visible_windows():
                lines.append(f"[process {pid}] " + w.describe())
        except HarnessError as e:
            lines.append(f"(could not list windows: {e})")
        if not lines:
            lines.append("(no visible window)")
        try:
            path = self.screenshot(f"{self.name}-FAILED.png")
            lines.append(f"screenshot: {path}")
        except (subprocess.SubprocessError, OSError) as e:
            lines.append(f"(no screenshot: {e})")
        return "\n".join(lines)


def read_edition_file(editions_dir, edition, filename, pattern):
    """{key: text} from the lines of an edition file that match `pattern` (key, C string)."""
    entries = {}
    with open(os.path.join(editions_dir, edition, filename), encoding="utf-8") as f:
        for line in f:
            m = re.match(pattern, line)
            if m:
                entries[m.group(1)] = c_unescape(m.group(2))
    return entries


def read_messages(editions_dir, edition):
    """The edition's catalogue from its messages.inc, by message number."""
    entries = read_edition_file(editions_dir, edition, "messages.inc",
                                r'^PATCHER_MESSAGE\((\d+), "(.*)"\)\s*$')
    return {int(number): text for number, text in entries.items()}


def read_dialog_texts(editions_dir, edition):
    """The edition's dialog texts from its dialog.inc, by macro name."""
    return read_edition_file(editions_dir, edition, "dialog.inc",
                             r'^#define (PATCHER_\w+) "(.*)"\s*$')


def c_unescape(text):
    escapes = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}
    out = []
    i = 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in escapes:
            out.append(escapes[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)
