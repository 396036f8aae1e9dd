#!/usr/bin/env python3
"""A whole unattended product update by the Windows updater under Wine, against nginx.

    update_test.py WINE BrinquetExpressUpdater.exe DEMO_DIR SERVER_INI

Run through run_with_peers.py --peers, which serves ZEL_WIN_WWW on ZEL_WIN_HTTP_PORT. The site
is the Windows demo's: real Windows programs with version resources from DEMO_DIR, listed by
SERVER_INI. The updater runs twice in a product-shaped tree. In the first run the product's
update program reads the params file, installs itself as the application (5.1.0.0) and ends
with 300, which counts as done on Windows (260..65999); the waited collect-info.exe ends with 0,
a failure; welcome.exe is opened through the shell. The second run finds the product current.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import time

SITE_FILES = ("BrinquetTool.dll", "BrinquetExpressScriptUpdater.exe", "welcome.exe", "collect-info.exe")

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def read(path, encoding="cp1252"):
    with open(path, encoding=encoding, newline="") as f:
        return f.read()


def wait_for(path):
    for _ in range(100):  # the shell starts a program detached
        if os.path.exists(path):
            return True
        time.sleep(0.1)
    return False


def make_product(root, demo):
    """R/Updates holds the updater, R/Admin the application (5.0.2.0), R/Admin/Client the
    installation settings, R/Utils the contact details."""
    program = os.path.join(root, "Updates")
    for d in (program, os.path.join(root, "Admin", "Client"), os.path.join(root, "Utils")):
        os.makedirs(d)
    shutil.copy(os.path.join(demo, "BQKORVEXP.exe"), os.path.join(root, "Admin"))
    with open(os.path.join(root, "Admin", "Client", "install.ini"), "w", newline="") as f:
        f.write("[Settings]\r\nLocalNumber=42\r\n")
    with open(os.path.join(root, "Utils", "Contact.ini"), "w", newline="") as f:
        f.write("[MAIN]\r\nContact=Ann Smith\r\nEmail=ann@example.com\r\n")
    return program


def run(wine, program, url, *extra):
    local = os.path.join(program, "BrinquetExpressUpdater_Local.ini")
    log = os.path.join(program, "BrinquetExpressUpdater.log")
    start = len(read(log)) if os.path.exists(log) else 0
    done = subprocess.run([wine, "BrinquetExpressUpdater.exe", "DEBUG", "SERVERPATH=" + url, *extra], cwd=program,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    text = read(log)[start:]
    print(f"exit code {done.returncode}\nlocal INI:\n{read(local)}log:\n{text}")
    return done.returncode, read(local), text


def last_run(program):
    """The last-run record's keys, section.key -> value."""
    values, section = {}, ""
    for line in read(os.path.join(program, "BrinquetExpressUpdater_LastRun.ini")).split("\r\n"):
        if line.startswith("["):
            section = line.strip("[]")
        elif "=" in line:
            key, value = line.split("=", 1)
            values[section + "." + key] = value
    return values


def publish_site(server_ini, demo):
    """Puts the server INI and the demo's files on the peers' nginx; returns its port."""
    site = os.path.join(os.environ["ZEL_WIN_WWW"], "site")
    os.makedirs(site)
    shutil.copy(server_ini, site)
    for name in SITE_FILES:
        shutil.copy(os.path.join(demo, name), site)
    return os.environ["ZEL_WIN_HTTP_PORT"]


def main():
    wine, updater, demo, server_ini = sys.argv[1:5]
    port = publish_site(server_ini, demo)
    root = tempfile.mkdtemp(prefix="zelwinupd")
    try:
        program = make_product(root, demo)
        shutil.copy(updater, program)
        # Non-visual; the status upload goes to nginx, which refuses it (a logged, harmless failure).
        with open(os.path.join(program, "BrinquetExpressUpdater_Local.ini"), "w", newline="") as f:
            f.write(f"CONSOLE=\r\nSUPPORTURL=http://127.0.0.1:{port}/scripts/zelisapi.dll/runningupload\r\n")
        url = f"http://127.0.0.1:{port}/site/"
        application = os.path.join(root, "Admin", "BQKORVEXP.exe")

        code, ini, log = run(wine, program, url)
        check(code == 0, f"the first run ends with 0 (got {code})")
        for name in SITE_FILES:
            check(os.path.exists(os.path.join(program, name)), name + " downloaded")
        params = read(os.path.join(program, "BrinquetExpressUpdaterParams.ini"))
        print("params file:\n" + params)
        for line in ("Local_Num=42", "Old_File_Version=5.0.2.0", "Update_Ready=1"):
            check(line + "\r\n" in params, "the params file holds " + line)
        applocation = [l for l in params.split("\r\n") if l.startswith("Applocation=")]
        check(len(applocation) == 1 and applocation[0].endswith("\\Admin\\BQKORVEXP.exe") and "/" not in applocation[0],
              "the params file names the application with Windows' separators")
        note = os.path.join(program, "script-updater.txt")
        check(os.path.exists(note) and "Local_Num=42" in read(note), "the script updater read the params file")
        check(filecmp.cmp(application, os.path.join(program, "BrinquetExpressScriptUpdater.exe"), shallow=False),
              "the script updater installed the new application")
        check("FILE0RAN=FALSE\r\n" in ini, "a library never run stays at RAN FALSE")
        check("FILE1RAN=TRUE\r\n" in ini, "the script updater ending with 300 counts as done")
        check("FILE2RAN=TRUE\r\n" in ini, "a program opened through the shell counts as done")
        check("FILE3RAN=FALSE\r\n" in ini, "a waited run ending with 0 counts as failed")
        check("is now updated to version 5.1.0.0." in log, "the log says the product is updated")
        check("collect-info.exe did not complete execution." in log, "the log names the failed run")
        check(wait_for(os.path.join(program, "welcome.txt")), "the shell started welcome.exe")
        record = last_run(program)
        print(f"last-run record: {record}")
        check(record.get("LastRun.Outcome") == "RunFailed", "the record says a run failed")
        check(record.get("LastRun.ExitCode") == "0", "the record holds the exit code 0")
        check(record.get("FILE3.ExitCode") == "0", "the record holds collect-info.exe's exit code")
        check(record.get("Product.ScriptUpdaterRan") == "TRUE", "the record says the script updater ran")
        check(record.get("Product.Upload") == "UploadFailed", "the record says the upload failed")

        os.remove(note)
        # collect-info.exe is still not marked as ran: it runs, and fails, again.
        code, ini, log = run(wine, program, url, "EXITCODES")
        check(code == 3, f"the second run, asked for exit codes, ends with 3: a run failed (got {code})")
        check("You have the current version of Brinquet\u00ae Express." in log,
              "the second run reads the new application's version and finds the product current")
        check(not os.path.exists(note), "the second run does not run the script updater again")

        # One run per remaining exit code, each against a site of its own.
        www = os.environ["ZEL_WIN_WWW"]
        for folder, text in (("current", "FILECOUNT=0\r\n"), ("broken", ""),
                             ("upload", "FILECOUNT=2\r\nFILE1TARGET=BQKORVEXP.exe\r\n"
                                        "FILE0NAME=BrinquetTool.dll\r\nFILE0VERSION=2.1.0.5\r\nFILE0EXECUTE=NEVER\r\n"
                                        "FILE1NAME=BrinquetExpressScriptUpdater.exe\r\nFILE1VERSION=5.1.0.0\r\n"
                                        "FILE1WAIT=60000\r\n")):
            os.makedirs(os.path.join(www, folder))
            with open(os.path.join(www, folder, "BrinquetExpressUpdater.ini"), "w", newline="") as f:
                f.write("[Update]\r\nFOUNDIT=1\r\n" + text)
        shutil.copy(os.path.join(demo, "BQKORVEXP.exe"), application)  # the application is old again
        site = f"http://127.0.0.1:{port}/"
        for what, path, want in (("a failed upload", site + "upload/", 4), ("up to date", site + "current/", 0),
                                 ("an update error", site + "broken/", 2),
                                 ("a start error", "http://127.0.0.1:1/", 1)):
            code, _, _ = run(wine, program, path, "EXITCODES")
            check(code == want, f"{what} ends with {want} under EXITCODES (got {code})")
            check(last_run(program).get("LastRun.ExitCode") == str(want), f"{what}: the record holds {want}")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
