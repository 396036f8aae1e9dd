#!/usr/bin/env python3
"""The product update with the window, against the unattended one, under Wine.

    visual_update_test.py WINE BrinquetExpressUpdater.exe DEMO_DIR SERVER_INI win_ui_driver.exe

Run through run_with_peers.py --peers --display. The same product-shaped tree is installed
twice at the same place: once the updater runs unattended (CONSOLE), once with its window,
where win_ui_driver.exe presses Proceed, OK in the contact dialog, Yes in the confirmation and
Close at the end. Both runs must leave the same local INI, params file and log, apart from the
CONSOLE key and the line that says nobody could press Proceed.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from update_test import check, failures, make_product, publish_site, read

# Lines one kind of run writes and the other cannot: the window's own status lines (shown
# when it appears and when a download starts), and the note that nobody could press Proceed.
ONE_KIND_ONLY = re.compile(r"Connecting to update server\.\.\.|Downloading \d+ K?Bytes\.|"
                           r"Nobody can press Proceed in a non-visual run: the update went ahead unattended\.")


def comparable(text, root):
    """The text without what is bound to differ: times, temporary names, the root's place,
    the CONSOLE key (also where the log quotes the local INI) and ONE_KIND_ONLY lines."""
    text = text.replace("Z:" + root.replace("/", "\\"), "R").replace("CONSOLE=\r\n", "")
    text = re.sub(r"^\d+/\d+/\d+ \d+:\d+:\d+ [AP]M:  ", "", text, flags=re.M)
    text = re.sub(r"temp\d+\.ini", "temp.ini", text)
    return [line for line in text.split("\r\n") if not ONE_KIND_ONLY.fullmatch(line)]


def update(wine, updater, demo, root, url, local_ini, driver=None):
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(root)
    program = make_product(root, demo)
    shutil.copy(updater, program)
    with open(os.path.join(program, "BrinquetExpressUpdater_Local.ini"), "w", newline="") as f:
        f.write(local_ini)
    argv = [wine] + ([driver] if driver else []) + ["BrinquetExpressUpdater.exe", "DEBUG", "SERVERPATH=" + url]
    done = subprocess.run(argv, cwd=program, stdin=subprocess.DEVNULL, capture_output=True, timeout=150)
    print(("visual" if driver else "unattended") + f" run: exit code {done.returncode}")
    print(done.stdout.decode("utf-8", "replace"))
    files = {name: read(os.path.join(program, name)) for name in
             ("BrinquetExpressUpdater_Local.ini", "BrinquetExpressUpdaterParams.ini", "BrinquetExpressUpdater.log")}
    return done, files


def main():
    wine, updater, demo, server_ini, driver = sys.argv[1:6]
    port = publish_site(server_ini, demo)
    url = f"http://127.0.0.1:{port}/site/"
    support = f"SUPPORTURL=http://127.0.0.1:{port}/scripts/zelisapi.dll/runningupload\r\n"
    scratch = tempfile.mkdtemp(prefix="zelwinvis")
    root = os.path.join(scratch, "Brinquet")
    try:
        quiet, unattended = update(wine, updater, demo, root, url, "CONSOLE=\r\n" + support)
        check(quiet.returncode == 0, "the unattended run ends with 0")
        shown, visual = update(wine, updater, demo, root, url, support, driver)
        said = shown.stdout.decode("utf-8", "replace")
        check(shown.returncode == 0, "the visual run ends with 0 after Close")
        check("press: Proceed" in said and "press: OK" in said, "Proceed and the contact dialog's OK were pressed")
        check("box: Collect information about this workstation for support?" in said,
              "the waited program's question was asked")
        for name, text in unattended.items():
            a, b = comparable(text, root), comparable(visual[name], root)
            if a != b:
                print(f"{name} differs:\n  unattended: {a}\n  visual:     {b}")
            check(a == b, name + " is the same after either run")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
