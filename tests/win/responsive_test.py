#!/usr/bin/env python3
"""The Windows updater's window stays alive while it waits, under Wine on a virtual display.

    responsive_test.py WINE BrinquetExpressUpdater.exe DEMO_DIR win_ui_driver.exe win_child.exe

Run through run_with_peers.py --peers --display. win_ui_driver.exe --probe asks Windows every
250 ms whether the updater's window is hung and whether it answers WM_NULL within a second:
first during a waited program that runs 20 seconds, then during 20 seconds of a server that
accepts the connection and never answers, after which it presses Close. Between the two, a
listed file's run fails (a time-out, a document the shell cannot open): the error box must carry
the error icon and Close must work afterwards. The run must end
within a second of that press, say that the user stopped it, show no box, and save the local
INI as a stop leaves it.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

from update_test import check, failures, make_product, read

STOP_LINE = "The update was stopped by the user."


def drive(wine, driver, program, url, local_ini, *options):
    with open(os.path.join(program, "BrinquetExpressUpdater_Local.ini"), "w", newline="") as f:
        f.write(local_ini)
    argv = [wine, driver, "--probe", *options, "BrinquetExpressUpdater.exe", "DEBUG", "SERVERPATH=" + url]
    done = subprocess.run(argv, cwd=program, stdin=subprocess.DEVNULL, capture_output=True, timeout=150)
    said = done.stdout.decode("utf-8", "replace")
    print(said)
    probe = [line for line in said.splitlines() if line.startswith("probe: ")]
    looks = hung = unanswered = -1
    if probe:
        words = probe[0].split()
        looks, hung, unanswered = int(words[1]), int(words[3]), int(words[8])
    return done.returncode, said, looks, hung, unanswered


def silent_server():
    """Accepts connections and never answers; returns the port."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    held = []

    def hold():
        while True:
            try:
                held.append(listener.accept()[0])
            except OSError:
                return
    threading.Thread(target=hold, daemon=True).start()
    return listener.getsockname()[1]


def main():
    wine, updater, demo, driver, child = sys.argv[1:6]
    port = os.environ["ZEL_WIN_HTTP_PORT"]
    site = os.path.join(os.environ["ZEL_WIN_WWW"], "waits")
    os.makedirs(site)
    shutil.copy(child, os.path.join(site, "sleep20000.exe"))
    with open(os.path.join(site, "notes.zelnone"), "w") as f:
        f.write("a document no program opens\n")
    with open(os.path.join(site, "BrinquetExpressUpdater.ini"), "w", newline="") as f:
        f.write("[Update]\r\nFOUNDIT=1\r\nFILECOUNT=1\r\n"
                "FILE0NAME=sleep20000.exe\r\nFILE0VERSION=99.0.0.0\r\nFILE0WAIT=60000\r\n")
    support = f"SUPPORTURL=http://127.0.0.1:{port}/scripts/zelisapi.dll/runningupload\r\n"
    root = tempfile.mkdtemp(prefix="zelwinwait")
    try:
        program = make_product(root, demo)
        shutil.copy(updater, program)

        code, said, looks, hung, unanswered = drive(wine, driver, program, f"http://127.0.0.1:{port}/waits/", support)
        log = read(os.path.join(program, "BrinquetExpressUpdater.log"))
        check(code == 0, f"the waited run's update ends with 0 after Close (got {code})")
        check("Finished running sleep20000.exe" in log, "the 20-second program ran to its end")
        # One look every 250 ms at most; under load a little less often.
        check(looks >= 60, f"the window was looked at all along the run ({looks} looks)")
        check(hung == 0, f"the window was never hung during the waited run ({hung} looks found it hung)")
        check(unanswered == 0, f"every message was answered during the waited run ({unanswered} were not)")

        # A listed file's run that ends in an error (a time-out, a file the shell cannot open):
        # the error box carries the error icon, and the window is given back, so the driver's
        # Close at "Done." ends the program; a window left with Close disabled would hold it.
        for name, entry in (("time-out", "FILE0NAME=sleep20000.exe\r\nFILE0VERSION=99.0.0.1\r\nFILE0WAIT=1500\r\n"),
                            ("shell failure", "FILE0NAME=notes.zelnone\r\nFILE0VERSION=1.0.0.0\r\n")):
            with open(os.path.join(site, "BrinquetExpressUpdater.ini"), "w", newline="") as f:
                f.write("[Update]\r\nFOUNDIT=1\r\nFILECOUNT=1\r\n" + entry)
            code, said, looks, hung, unanswered = drive(wine, driver, program, f"http://127.0.0.1:{port}/waits/",
                                                        support)
            check("box: Update error: " in said, f"{name}: the run's error is shown in a box")
            # Wine's box shows a copy of the system's icon, so only whether it has one can be told.
            check("box icon: none" not in said and "box icon: " in said, f"{name}: the error box carries an icon")
            check("press: &Close" in said and code == 0, f"{name}: Close works after the error (exit code {code})")

        os.remove(os.path.join(program, "BrinquetExpressUpdater.log"))
        silent = silent_server()
        local = "SERVERPATH=http://127.0.0.1:%d/silent/\r\n" % silent + support
        code, said, looks, hung, unanswered = drive(wine, driver, program, f"http://127.0.0.1:{silent}/silent/",
                                                    local, "--close-after", "20000")
        log = read(os.path.join(program, "BrinquetExpressUpdater.log"))
        ended = [int(line.split()[3]) for line in said.splitlines() if line.startswith("ended after Close: ")]
        check(code == 0, f"the silent server's run ends with 0 (got {code})")
        check(looks >= 60, f"the window was looked at for 20 seconds of silence ({looks} looks)")
        check(hung == 0, f"the window was never hung while the server was silent ({hung} looks found it hung)")
        check(unanswered == 0, f"every message was answered while the server was silent ({unanswered} were not)")
        check(bool(ended) and ended[0] < 1000, f"the run ended within a second of Close ({ended} ms)")
        check("box: " not in said, "no box was shown")
        check(STOP_LINE in log and "Update error" not in log, "the log says the user stopped the update, no error")
        ini = read(os.path.join(program, "BrinquetExpressUpdater_Local.ini"))
        check(ini == local, "the local INI is saved as a stop leaves it: what it held, nothing added")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
