#!/usr/bin/env python3
"""The demo behind scripts/demo: the North American patcher on a sample installation in a Wine
prefix of its own.

The first call makes the prefix and an installation of the older release; every call then runs
patcher-na.exe /v on it. With a display the user answers the real dialogs. Without one the
program runs on a virtual display and this script answers as a user would (Yes to the
question), prints each box and the results log, and keeps screenshots. Either way the menu
bitmap is written as a picture before and after the run. The installation stays, so the next
call offers the removal of the button.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_session as ws  # noqa: E402

BITMAP = os.path.join("Varnok", "Classic.bmp")


def make_installation(config, prefix):
    print(f"Making a fresh Wine prefix in {prefix} ...", flush=True)
    ws.boot_template(prefix)
    env = ws.wine_env(prefix, os.environ.get("DISPLAY", ""))
    install_dir = os.path.join(prefix, "drive_c", "Games", "Varnok")
    os.makedirs(install_dir)
    subprocess.run([config["make_sample"], "na", "older", install_dir], check=True)
    subprocess.run(["wine", "reg", "add", "HKLM\\" + ws.KEY, "/v", "Install Path", "/d",
                    ws.INSTALL_DIR, "/f", "/reg:32"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    print(f"Sample installation (older release of the menu program) in {ws.INSTALL_DIR}, "
          f"registered in the registry's 32-bit view.", flush=True)


def picture(prefix, target):
    source = os.path.join(prefix, "drive_c", "Games", "Varnok", BITMAP)
    subprocess.run(["convert", source, target], check=True)
    return target


def drive_headless(env, display, shots):
    """Runs the patcher on the virtual display and answers like a user: Yes, then OK or
    Finish. Prints what each window says."""
    driver = ws.Driver(["wine", r"C:\patcher\wine-driver.exe"], env)
    session = ws.Desktop(driver, display, shots)
    try:
        driver.one("release", timeout=120)
        pid = int(driver.one("start", r'"C:\patcher\patcher-na.exe" /v').split()[1])
        count = 0
        while True:
            kind, w = session.next_event(pid, 120)
            if kind == "exited":
                print(f"patcher-na.exe ended with exit code {w}.")
                return w == 0
            if kind != "window":
                print("The patcher showed nothing for two minutes; giving up.")
                return False
            if w is None or w.is_progress_dialog():
                continue
            count += 1
            shot = session.screenshot(f"{count}.png", w.top.rect)
            if w.is_results_dialog():
                print(f"\n[{w.caption}] results dialog (screenshot {shot}):\n")
                print(w.child(1000).text.replace("\r\n", "\n"))
                session.click(w.hwnd, 1002)
                continue
            ids = [b.id for b in w.buttons()]
            answer = 6 if 6 in ids else 1
            print(f"\n[{w.caption}] {w.box_text()}\n  -> {'Yes' if answer == 6 else 'OK'}"
                  f" (screenshot {shot})")
            session.click(w.hwnd, answer)
    finally:
        driver.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config", required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--headless", action="store_true")
    args = parser.parse_args()
    with open(args.config) as f:
        config = json.load(f)
    prefix = os.path.join(args.dir, "prefix")
    if not os.path.isdir(os.path.join(prefix, "drive_c", "Games", "Varnok")):
        shutil.rmtree(prefix, ignore_errors=True)
        make_installation(config, prefix)
    tools = os.path.join(prefix, "drive_c", "patcher")
    os.makedirs(tools, exist_ok=True)
    for path in [config["driver"]] + list(config["patchers"].values()):
        shutil.copy(path, tools)
    before = picture(prefix, os.path.join(args.dir, "menu-before.png"))

    if args.headless:
        xvfb, display = ws.start_xvfb()
        env = ws.wine_env(prefix, display)
        shots = os.path.join(args.dir, "screens")
        shutil.rmtree(shots, ignore_errors=True)
        os.makedirs(shots)
        print(f"No display: running on the virtual display {display} and answering Yes.")
        try:
            ok = drive_headless(env, display, shots)
        finally:
            subprocess.run(["wineserver", "-k"], env=env)
            subprocess.run(["wineserver", "-w"], env=env)
            ws.stop_process(xvfb)
    else:
        env = ws.wine_env(prefix, os.environ["DISPLAY"])
        print("Starting patcher-na.exe /v on your display: answer its questions.")
        ok = subprocess.run(["wine", r"C:\patcher\patcher-na.exe", "/v"], env=env).returncode == 0
        subprocess.run(["wineserver", "-w"], env=env)

    after = picture(prefix, os.path.join(args.dir, "menu-after.png"))
    print(f"\nMenu bitmap {BITMAP} before the run: {before}")
    print(f"Menu bitmap {BITMAP} after the run:  {after}")
    print("Run scripts/demo again: it surveys the installation afresh and offers to remove the "
          "button when it is there, or to add it when it is not.")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
