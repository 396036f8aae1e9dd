#!/usr/bin/env python3
"""The Windows updater under Wine keeps its own state: Windows spellings of its own files,
batch files the command interpreter would read again, and a second updater in the same folder.

    own_state_test.py WINE BrinquetExpressUpdater.exe win_child.exe

The update site is a small loopback server of this script's own, which can hold a download
half-way until the test lets it go on. Each case runs unattended in a product-shaped tree.
"""
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

failures = []
PLANTED = b"[Update]\r\nFOUNDIT=1\r\nSERVERPATH=http://127.0.0.1:1/planted/\r\nTLSVERIFY=0\r\n"


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Site:
    """Serves files[path]; any other path gets PLANTED. A request for stall_path sends half of
    its body, sets stalled and waits for release."""

    def __init__(self):
        self.files, self.requests = {}, []
        self.stall_path, self.stalled, self.release = None, threading.Event(), threading.Event()
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def do_GET(self):
                site.requests.append(self.path)
                body = site.files.get(self.path, PLANTED)
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if self.path == site.stall_path:
                    self.wfile.write(body[: len(body) // 2])
                    self.wfile.flush()
                    site.stalled.set()
                    site.release.wait(120)
                    body = body[len(body) // 2:]
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.server.server_port}/site/"

    def put_ini(self, entries):
        self.files["/site/BrinquetExpressUpdater.ini"] = b"[Update]\r\nFOUNDIT=1\r\n" + entries.encode("cp1252")


def make_product(base):
    program = os.path.join(base, "Updates")
    os.makedirs(os.path.join(base, "Admin", "Client"))
    os.makedirs(program)
    with open(os.path.join(base, "Admin", "Client", "install.ini"), "w", newline="") as f:
        f.write("[Settings]\r\nLocalNumber=42\r\n")
    with open(os.path.join(program, "BrinquetExpressUpdater_Local.ini"), "w", newline="") as f:
        f.write("CONSOLE=\r\n")
    return program


def start(wine, program, url):
    return subprocess.Popen([wine, "BrinquetExpressUpdater.exe", "DEBUG", "SERVERPATH=" + url], cwd=program,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def run(wine, program, url):
    p = start(wine, program, url)
    out = p.communicate(timeout=120)[0].decode("utf-8", "replace")
    return p.returncode, out


def log_since(program, start):
    path = os.path.join(program, "BrinquetExpressUpdater.log")
    return read(path)[start:].decode("cp1252") if os.path.exists(path) else ""


def log_size(program):
    path = os.path.join(program, "BrinquetExpressUpdater.log")
    return os.path.getsize(path) if os.path.exists(path) else 0


def short_name(wine, child, folder, name):
    """The 8.3 name Windows (here Wine) gives an existing file."""
    out = subprocess.run([wine, child, "short", name], cwd=folder, stdin=subprocess.DEVNULL, capture_output=True,
                         timeout=60).stdout
    return out.decode("cp1252").strip()


def snapshot(folder):
    files = {}
    for d, _, names in os.walk(folder):
        for n in names:
            files[os.path.join(d, n)] = read(os.path.join(d, n))
    return files


def settled(folder):
    """The folder's files once the first updater has written what it received so far."""
    last = snapshot(folder)
    for _ in range(50):
        time.sleep(0.2)
        now = snapshot(folder)
        if now == last:
            return now
        last = now
    return last


def spellings(wine, updater, child, base):
    site = Site()
    program = make_product(os.path.join(base, "spellings"))
    shutil.copy(updater, program)
    site.put_ini("FILECOUNT=0\r\n")  # a first run makes the log and the params file
    code, out = run(wine, program, site.url)
    check(code == 0, f"a run with an empty list ends with 0 (got {code}: {out})")
    own = {"local INI": "BrinquetExpressUpdater_Local.ini", "params file": "BrinquetExpressUpdaterParams.ini"}
    shorts = {what: short_name(wine, child, program, name) for what, name in own.items()}
    print(f"short names: {shorts}")
    cases = [
        ("local INI, a trailing dot", "BrinquetExpressUpdater_Local.ini.", "which Windows reads as another name"),
        ("local INI, dots and blanks", "BrinquetExpressUpdater_Local.ini. . .", "which Windows reads as another name"),
        ("log, a trailing dot", "BrinquetExpressUpdater.log.", "which Windows reads as another name"),
        ("params file, a trailing dot", "BrinquetExpressUpdaterParams.ini.", "which Windows reads as another name"),
        ("transfer file, a trailing dot", "Temp.", "which Windows reads as another name"),
        ("transfer file, a blank and a dot", "Temp .", "which Windows reads as another name"),
        ("a stream of the local INI", "BrinquetExpressUpdater_Local.ini:x", "which Windows reads as another name"),
    ]
    for what, short in shorts.items():
        check("~" in short, f"the {what} has a short name ({short!r})")
        cases.append((f"{what}, its short name", short, "which is one of the updater's own files."))
    for what, name, reason in cases:
        site.put_ini(f"FILECOUNT=1\r\nFILE0NAME={name}\r\nFILE0VERSION=9.0.0.0\r\n")
        local = read(os.path.join(program, "BrinquetExpressUpdater_Local.ini"))
        site.requests.clear()
        start = log_size(program)
        code, out = run(wine, program, site.url)
        log = log_since(program, start)
        expected = f'Update error: Problem with configuration file.  FILE0NAME names "{name}", {reason}'
        check(code == 0 and expected in log, f"{what}: refused ({code}, {log[-400:]!r})")
        check(read(os.path.join(program, "BrinquetExpressUpdater_Local.ini")) == local, f"{what}: local INI kept")
        check(site.requests == ["/site/BrinquetExpressUpdater.ini"] * 2, f"{what}: nothing fetched ({site.requests})")
        planted = [p for p, b in snapshot(program).items() if b"planted" in b]
        check(not planted, f"{what}: the server's text is nowhere in the folder ({planted})")
    site.server.shutdown()


def batch_files(wine, updater, base):
    site = Site()
    # A product root with blanks in its name: a plain batch file runs there as it always did.
    program = make_product(os.path.join(base, "batch files here"))
    shutil.copy(updater, program)
    with open(os.path.join(program, "y.bat"), "w", newline="") as f:
        f.write("@echo y> y-ran.txt\r\n")
    for name in ("x&y.bat", "x^y.bat", "x%PATH%y.bat"):
        site.files["/site/" + name.replace("%", "%25").replace("^", "%5E")] = b"@echo x> x-ran.txt\r\n@exit /b 300\r\n"
        site.put_ini(f"FILECOUNT=1\r\nFILE0NAME={name}\r\nFILE0VERSION=1.0.0.0\r\nFILE0WAIT=20000\r\n")
        start = log_size(program)
        code, out = run(wine, program, site.url)
        log = log_since(program, start)
        check(f'FILE0NAME names the batch file "{name}", whose path or parameters hold a character the command '
              f"interpreter reads as its own" in log, f"{name}: refused ({log[-300:]!r})")
        check(not os.path.exists(os.path.join(program, "y-ran.txt")), f"{name}: y.bat did not run")
        check(not os.path.exists(os.path.join(program, "x-ran.txt")), f"{name}: nothing ran")
        check("Finished running" not in log, f"{name}: not reported as run")
    site.files["/site/plain.bat"] = b"@echo plain %1> plain-ran.txt\r\n@exit /b 300\r\n"
    site.put_ini("FILECOUNT=1\r\nFILE0NAME=plain.bat\r\nFILE0VERSION=1.0.0.0\r\nFILE0WAIT=20000\r\n")
    start = log_size(program)
    code, out = run(wine, program, site.url)
    log = log_since(program, start)
    check("Finished running plain.bat" in log, f"a plain batch file in a folder with blanks runs ({log[-300:]!r})")
    check(os.path.exists(os.path.join(program, "plain-ran.txt")), "and did its work")
    site.server.shutdown()


def two_updaters(wine, updater, base):
    site = Site()
    program = make_product(os.path.join(base, "two"))
    shutil.copy(updater, program)
    big = bytes(range(256)) * 8196 + b"end"
    site.files["/site/big.dll"] = big
    site.stall_path = "/site/big.dll"
    site.put_ini("FILECOUNT=1\r\nFILE0NAME=big.dll\r\nFILE0VERSION=1.0.0.0\r\nFILE0EXECUTE=NEVER\r\n")
    first = start(wine, program, site.url)
    check(site.stalled.wait(120), "the first updater is half-way through big.dll")
    before = settled(program)
    code, out = run(wine, program, site.url)
    check(code == 1, f"the second updater ends with 1 (got {code})")
    check("An update is already running in this folder." in out, f"and says so on standard error ({out!r})")
    after = snapshot(program)
    record = os.path.join(program, "BrinquetExpressUpdater_LastRun.ini")
    changed = sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p) and p != record)
    check(not changed, f"the second updater wrote nothing in the folder but its last-run record ({changed})")
    with open(record, "rb") as f:
        text = f.read()
    check(b"Outcome=AlreadyRunning" in text, f"and the record says another updater is running ({text!r})")
    site.release.set()
    out = first.communicate(timeout=120)[0].decode("utf-8", "replace")
    check(first.returncode == 0, f"the first updater ends with 0 (got {first.returncode}: {out})")
    check(read(os.path.join(program, "big.dll")) == big, "big.dll is whole")
    check(not os.path.exists(os.path.join(program, "Temp")), "no transfer file is left")
    site.server.shutdown()


def with_version(exe, major):
    """The program's bytes with the file version of its version resource set to major.0.0.0."""
    data = bytearray(exe)
    # VS_FIXEDFILEINFO's signature after the resource's key (the code holds the number too)
    at = data.find(b"\xbd\x04\xef\xfe", data.find("VS_VERSION_INFO".encode("utf-16-le")))
    data[at + 8:at + 16] = (major << 16).to_bytes(4, "little") + (0).to_bytes(4, "little")
    return bytes(data)


def self_update(wine, updater, base):
    site = Site()
    program = make_product(os.path.join(base, "self"))
    shutil.copy(updater, program)
    exe = os.path.join(program, "BrinquetExpressUpdater.exe")
    new = with_version(read(updater), 9)
    site.files["/site/BrinquetExpressUpdater.exe"] = new
    site.files["/site/after.txt"] = b"after"
    site.put_ini("FILECOUNT=2\r\nFILE0NAME=BrinquetExpressUpdater.exe\r\nFILE0VERSION=9.0.0.0\r\n"
                 "FILE0EXECUTE=NEVER\r\nFILE1NAME=after.txt\r\nFILE1VERSION=1.0.0.0\r\nFILE1EXECUTE=NEVER\r\n")
    code, out = run(wine, program, site.url)
    log = log_since(program, 0)
    check(code == 0 and "Update error" not in log, f"a newer copy of the updater: no error ({code}, {log[-600:]!r})")
    check("BrinquetExpressUpdater.exe was in use: it was moved aside to BrinquetExpressUpdater.exe.old, and the new "
          "copy takes effect at its next start." in log, "the log says the new updater takes effect at its next start")
    check(read(exe) == new, "the new copy is in place")
    check(read(os.path.join(program, "after.txt")) == b"after", "the entries after it ran")
    check("FILE0RAN=FALSE" in read(os.path.join(program, "BrinquetExpressUpdater_Local.ini")).decode(),
          "and the local INI was saved")
    start = log_size(program)
    code, out = run(wine, program, site.url)
    log = log_since(program, start)
    check(code == 0 and "Successfully downloaded BrinquetExpressUpdater.exe" not in log,
          f"the next start is the new version: nothing newer to fetch ({code}, {log[-400:]!r})")
    check(not os.path.exists(exe + ".old"), "the copy moved aside is gone after that start")
    site.server.shutdown()


def main():
    wine, updater, child = sys.argv[1:4]
    base = tempfile.mkdtemp(prefix="zelwinown")
    try:
        two_updaters(wine, updater, base)
        spellings(wine, updater, child, base)
        batch_files(wine, updater, base)
        self_update(wine, updater, base)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
