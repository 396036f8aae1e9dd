#!/usr/bin/env python3
"""A whole unattended update by the Windows updater under Wine, against nginx.

    update_test.py WINE BrinquetExpressUpdater.exe win_child.exe

Run through run_with_peers.py --peers, which serves ZEL_WIN_WWW on ZEL_WIN_HTTP_PORT. The
site lists real Windows programs with version resources (copies of win_child.exe, which acts
on its own name): one never run, one waited for that ends with 300, one waited for that ends
with 0, and one opened through the shell. On Windows a waited run succeeds exactly when its
exit code lies in 260..65999, so 300 counts as done and 0 as a failure.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SERVER_INI = """[Update]\r
FOUNDIT=1\r
FILECOUNT=4\r
FILE0NAME=BrinquetTool.exe\r
FILE0VERSION=4.3.2.1\r
FILE0EXECUTE=NEVER\r
FILE1NAME=exit300.exe\r
FILE1VERSION=4.3.2.1\r
FILE1EXECUTE=ALWAYS\r
FILE1WAIT=20000\r
FILE2NAME=exit0.exe\r
FILE2VERSION=4.3.2.1\r
FILE2EXECUTE=ALWAYS\r
FILE2WAIT=20000\r
FILE3NAME=note.exe\r
FILE3VERSION=4.3.2.1\r
"""

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def main():
    wine, updater, child = sys.argv[1:4]
    www = os.environ["ZEL_WIN_WWW"]
    port = os.environ["ZEL_WIN_HTTP_PORT"]
    site = os.path.join(www, "site")
    os.makedirs(site)
    with open(os.path.join(site, "BrinquetExpressUpdater.ini"), "w", newline="") as f:
        f.write(SERVER_INI)
    for name in ("BrinquetTool.exe", "exit300.exe", "exit0.exe", "note.exe"):
        shutil.copy(child, os.path.join(site, name))
    root = tempfile.mkdtemp(prefix="zelwinupd")
    # The product's installation: the updater in R/Updates, the application in R/Admin, the
    # installation settings in R/Admin/Client, the contact details in R/Utils.
    program = os.path.join(root, "Updates")
    os.makedirs(program)
    os.makedirs(os.path.join(root, "Admin", "Client"))
    os.makedirs(os.path.join(root, "Utils"))
    shutil.copy(child, os.path.join(root, "Admin", "BQKORVEXP.exe"))
    with open(os.path.join(root, "Admin", "Client", "install.ini"), "w", newline="") as f:
        f.write("[Settings]\r\nLocalNumber=42\r\n")
    with open(os.path.join(root, "Utils", "Contact.ini"), "w", newline="") as f:
        f.write("[MAIN]\r\nContact=Ann Smith\r\nEmail=ann@example.com\r\n")
    try:
        shutil.copy(updater, program)
        with open(os.path.join(program, "BrinquetExpressUpdater_Local.ini"), "w", newline="") as f:
            f.write("CONSOLE=\r\n")
        url = f"http://127.0.0.1:{port}/site/"
        run = subprocess.run([wine, "BrinquetExpressUpdater.exe", "DEBUG", "SERVERPATH=" + url], cwd=program,
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        check(run.returncode == 0, f"the updater ends with 0 (got {run.returncode})")
        note = os.path.join(program, "note.txt")
        for _ in range(100):  # the shell starts it detached
            if os.path.exists(note):
                break
            time.sleep(0.1)
        with open(os.path.join(program, "BrinquetExpressUpdater_Local.ini"), newline="") as f:
            ini = f.read()
        with open(os.path.join(program, "BrinquetExpressUpdater.log"), encoding="cp1252") as f:
            log = f.read()
        print("local INI:\n" + ini + "log:\n" + log)
        for name in ("BrinquetTool.exe", "exit300.exe", "exit0.exe", "note.exe"):
            check(os.path.exists(os.path.join(program, name)), name + " downloaded")
        check("FILE0RAN=FALSE\r\n" in ini, "a file never run stays at RAN FALSE")
        check("FILE1RAN=TRUE\r\n" in ini, "a waited run ending with 300 counts as done")
        check("FILE2RAN=FALSE\r\n" in ini, "a waited run ending with 0 counts as failed")
        check("FILE3RAN=TRUE\r\n" in ini, "a file opened through the shell counts as done")
        check("exit0.exe did not complete execution." in log, "the log names the failed run")
        check(os.path.exists(note), "the shell started note.exe")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
