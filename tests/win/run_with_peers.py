#!/usr/bin/env python3
"""Runs one Windows test program under Wine, with the Linux peers it talks to.

    run_with_peers.py [--peers [--squid]] [--display=NAME [--dpi=N]] WINE PROGRAM.exe [ARGS...]

With --peers: a test certificate authority and server certificates (made now with the
openssl command), nginx serving HTTPS with each of them on its own loopback port, tinyproxy
for CONNECT tunnels, and a publisher's key with a signature. Their ports and files reach the
program through ZEL_WIN_* environment variables (files as Windows paths on drive Z:). The
peers are stopped by their pid when the program ends; the program's exit code is returned.
With --squid also three squids, the office proxies: without authentication, with Basic
(basic_ncsa_auth, the account in ZEL_WIN_SQUID_USER and _PASSWORD) and with NTLM
(ntlm_fake_auth, which takes any user); their access logs are named as Windows paths. The
NTLM squid is also reached through a relay that mends its challenges for Samba's ntlm_auth
(ZEL_WIN_SQUID_NTLM_MENDED_PORT; see mend_challenge).
With --display the program runs on a virtual X display of its own (Xvfb), for windows, in
a Wine prefix of its own (WINEPREFIX-NAME) whose server starts on that display and is stopped
at the end: Wine's desktop started without a display hides one process's windows from another.
--dpi sets that prefix's screen to N dots per inch (144 is Windows' 150 % scale).
"""
import base64
import http.client
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HELLO = b"hello over TLS\n"  # the page that shows nginx is up, and what the TLS tests fetch


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, proc, seconds=10):
    """Whether PROC listens on PORT. A connection to a port of the ephemeral range that nobody
    listens on yet can meet itself (TCP simultaneous open): that one does not count."""
    end = time.time() + seconds
    while time.time() < end and proc.poll() is None:
        try:
            with socket.create_connection(("127.0.0.1", port), 0.2) as s:
                if s.getsockname() != s.getpeername():
                    return True
        except OSError:
            pass
        time.sleep(0.05)
    return False


def wait_page(port, path, body, proc, seconds=10):
    """Whether PROC serves BODY at PATH on PORT. nginx answers nothing until it holds every
    port it was given (it retries a port in use for seconds): an answer means all are ready."""
    end = time.time() + seconds
    while time.time() < end and proc.poll() is None:
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=1)
        try:
            c.request("GET", path)
            reply = c.getresponse()
            if reply.status == 200 and reply.read() == body:
                return True
        except (OSError, http.client.HTTPException):
            pass
        finally:
            c.close()
        time.sleep(0.05)
    return False


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(*argv):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def der_element(b, i):
    """(contents, index after) of the DER element at b[i]."""
    n = b[i + 1]
    i += 2
    if n & 0x80:
        k = n & 0x7F
        n = int.from_bytes(b[i:i + k], "big")
        i += k
    return b[i:i + n], i + n


def full_width_signature(pem):
    """Whether the certificate's ECDSA r and s are both 32 bytes wide. Wine's crypt32 lays a
    shorter one (1 signature in 128) into r || s unpadded and reports the signature invalid.
    The width is the value's, not its DER contents': DER puts a zero byte before a value whose
    top bit is set, so half the 31-byte values take 32 bytes there."""
    der = subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER"], check=True,
                         capture_output=True).stdout
    cert, _ = der_element(der, 0)
    _, i = der_element(cert, 0)  # to be signed
    _, i = der_element(cert, i)  # algorithm
    bits, _ = der_element(cert, i)
    seq, _ = der_element(bits, 1)  # past the unused-bits byte
    r, i = der_element(seq, 0)
    s, _ = der_element(seq, i)
    return all(len(n.lstrip(b"\0")) >= 32 for n in (r, s))


def make_until_full_width(pem, *argv):
    for _ in range(20):
        run(*argv)
        if full_width_signature(pem):
            return
    sys.exit(f"run_with_peers: no full-width signature for {pem}")


def make_certificates(d):
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    make_until_full_width(f"{d}/ca.pem", "openssl", "req", "-x509", *ec, "-days", "2", "-subj", "/CN=zel test CA",
                          "-keyout", f"{d}/ca.key", "-out", f"{d}/ca.pem")
    certs = {}
    for name, san, days in (("good", "IP:127.0.0.1,DNS:localhost", "2"),
                            ("otherhost", "DNS:other.example", "2"),
                            ("expired", "IP:127.0.0.1,DNS:localhost", "-1")):
        with open(f"{d}/{name}.ext", "w") as f:
            f.write(f"subjectAltName={san}\n")
        run("openssl", "req", "-new", *ec, "-subj", "/CN=server", "-keyout", f"{d}/{name}.key",
            "-out", f"{d}/{name}.csr")
        make_until_full_width(f"{d}/{name}.pem", "openssl", "x509", "-req", "-in", f"{d}/{name}.csr",
                              "-CA", f"{d}/ca.pem", "-CAkey", f"{d}/ca.key", "-CAcreateserial", "-days", days,
                              "-extfile", f"{d}/{name}.ext", "-out", f"{d}/{name}.pem")
        certs[name] = (f"{d}/{name}.pem", f"{d}/{name}.key")
    make_until_full_width(f"{d}/selfsigned.pem", "openssl", "req", "-x509", *ec, "-days", "2", "-subj", "/CN=127.0.0.1",
                          "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                          "-keyout", f"{d}/selfsigned.key", "-out", f"{d}/selfsigned.pem")
    certs["selfsigned"] = (f"{d}/selfsigned.pem", f"{d}/selfsigned.key")
    return certs


def make_publisher(d, env):
    run("openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
        "-out", f"{d}/publisher.pem")
    run("openssl", "pkey", "-in", f"{d}/publisher.pem", "-pubout", "-out", f"{d}/publisher.pub.pem")
    der = subprocess.run(["openssl", "pkey", "-in", f"{d}/publisher.pem", "-pubout", "-outform", "DER"],
                         check=True, capture_output=True).stdout
    env["ZEL_WIN_PUBLIC_KEY"] = base64.b64encode(der).decode()
    with open(f"{d}/signed.ini", "wb") as f:
        f.write(b"FOUNDIT=1\r\nFILECOUNT=0\r\n")
    run("openssl", "dgst", "-sha256", "-sign", f"{d}/publisher.pem", "-out", f"{d}/signed.ini.sig",
        f"{d}/signed.ini")
    # The same key in SEC 1 form, and a key on another curve.
    run("openssl", "ec", "-in", f"{d}/publisher.pem", "-out", f"{d}/publisher.sec1.pem")
    run("openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-384", "-out", f"{d}/p384.pem")
    run("openssl", "pkey", "-in", f"{d}/p384.pem", "-pubout", "-out", f"{d}/p384.pub.pem")
    for name in ("publisher.pem", "publisher.pub.pem", "publisher.sec1.pem", "p384.pem", "p384.pub.pem", "signed.ini",
                 "signed.ini.sig"):
        env["ZEL_WIN_" + name.upper().replace(".", "_")] = win_path(f"{d}/{name}")


def start_until_ready(start, ready, procs):
    """Starts a peer on freshly chosen ports until it is ready on them: a port can be taken
    between choosing and binding. Returns start's ports."""
    for _ in range(5):
        proc, ports = start()
        if ready(proc, ports):
            procs.append(proc)
            return ports
        proc.kill()
        proc.wait()
    sys.exit("run_with_peers: a peer did not start")


def start_nginx(d, certs, root, procs):
    """nginx serving ROOT over HTTP and over HTTPS with each certificate; returns the ports."""
    def start():
        ports = {name: free_port() for name in ["http", *certs]}
        conf = [f"daemon off;\nmaster_process off;\nworker_processes 1;\npid {d}/nginx.pid;\n",
                f"error_log {d}/nginx-error.log;\nevents {{ worker_connections 64; }}\nhttp {{\n",
                f"  access_log off;\n  client_body_temp_path {d};\n  proxy_temp_path {d};\n",
                f"  fastcgi_temp_path {d};\n  uwsgi_temp_path {d};\n  scgi_temp_path {d};\n",
                f"  server {{ listen 127.0.0.1:{ports['http']}; root {root}; }}\n"]
        for name, (cert, key) in certs.items():
            conf.append(f"  server {{ listen 127.0.0.1:{ports[name]} ssl; server_name localhost; root {root};\n"
                        f"    ssl_certificate {cert}; ssl_certificate_key {key}; }}\n")
        conf.append("}\n")
        with open(f"{d}/nginx.conf", "w") as f:
            f.write("".join(conf))
        return subprocess.Popen(["/usr/sbin/nginx", "-p", d, "-e", f"{d}/nginx-error.log", "-c", f"{d}/nginx.conf"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), ports
    return start_until_ready(start, lambda proc, ports: wait_page(ports["http"], "/hello.txt", HELLO, proc), procs)


def start_tinyproxy(d, connect_port, procs):
    """tinyproxy tunnelling to CONNECT_PORT only; returns its port."""
    def start():
        port = free_port()
        with open(f"{d}/tinyproxy.conf", "w") as f:
            f.write(f"Port {port}\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                    f"LogFile \"{d}/tinyproxy.log\"\nLogLevel Info\nConnectPort {connect_port}\n"
                    + ("User root\nGroup root\n" if os.geteuid() == 0 else ""))
        return subprocess.Popen(["/usr/bin/tinyproxy", "-d", "-c", f"{d}/tinyproxy.conf"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), port
    return start_until_ready(start, lambda proc, port: wait_port(port, proc), procs)


SQUID_USER, SQUID_PASSWORD = "alice", "s3cr/et;x"


def start_squid(d, auth, procs):
    """squid on a free port asking for AUTH ("none", "basic", "ntlm"); returns the port and its
    access log."""
    folder = f"{d}/squid-{auth}"
    os.makedirs(folder)
    os.chmod(d, 0o711)  # squid runs as the proxy user when started by root
    helpers = "/usr/lib/squid"
    lines = []
    if auth == "basic":
        run("htpasswd", "-bc", f"{folder}/passwd", SQUID_USER, SQUID_PASSWORD)
        lines += [f"auth_param basic program {helpers}/basic_ncsa_auth {folder}/passwd",
                  "auth_param basic realm zeltest", "auth_param basic children 1 startup=1 idle=1"]
    elif auth == "ntlm":
        lines += [f"auth_param ntlm program {helpers}/ntlm_fake_auth", "auth_param ntlm children 1 startup=1 idle=1"]
    if auth == "none":
        lines.append("http_access allow all")
    else:
        lines += ["acl authed proxy_auth REQUIRED", "http_access allow authed", "http_access deny all"]
    if os.geteuid() == 0:
        shutil.chown(folder, "proxy", "proxy")

    def start():
        port = free_port()
        conf = [f"http_port 127.0.0.1:{port}", f"pid_filename {folder}/squid.pid", f"cache_log {folder}/cache.log",
                f"access_log {folder}/access.log", f"coredump_dir {folder}", "cache deny all", "cache_mem 4 MB",
                "icp_port 0", "htcp_port 0", "pinger_enable off", "shutdown_lifetime 0 seconds", "via off",
                "forwarded_for delete", "dns_nameservers 127.0.0.1", "cache_effective_user proxy", *lines]
        with open(f"{folder}/squid.conf", "w") as f:
            f.write("\n".join(conf) + "\n")
        return subprocess.Popen(["/usr/sbin/squid", "-N", "-f", f"{folder}/squid.conf"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), port
    port = start_until_ready(start, lambda proc, port: wait_port(port, proc, 15), procs)
    return port, f"{folder}/access.log"


def mend_challenge(token):
    """ntlm_fake_auth's challenge is not well formed: its target name's offset is 0xAAAAAAAE,
    past the end of the message, the name is 8-bit text though the flags say Unicode, the
    flags announce a version field the message lacks, and the target information field holds
    a stray offset. Samba's ntlm_auth (under Wine's SSPI) refuses it as an invalid parameter.
    The challenge is laid out again with the same server challenge and flags (less the
    version), the name in UTF-16 and target information naming that domain."""
    m = base64.b64decode(token)
    if len(m) < 40 or m[:8] != b"NTLMSSP\0" or m[8] != 2:
        return token
    length = int.from_bytes(m[12:14], "little")
    name = m[-length:].decode("latin-1").encode("utf-16-le") if 0 < length <= len(m) - 40 else b""
    flags = (int.from_bytes(m[20:24], "little") & ~0x02000000) | 0x00800000  # no version; target info
    info = (2).to_bytes(2, "little") + len(name).to_bytes(2, "little") + name + bytes(4)  # domain, end
    def field(size, offset):
        return size.to_bytes(2, "little") * 2 + offset.to_bytes(4, "little")
    out = (m[:12] + field(len(name), 48) + flags.to_bytes(4, "little") + m[24:32] + bytes(8)
           + field(len(info), 48 + len(name)) + name + info)
    return base64.b64encode(out)


def relay_mending_challenges(squid_port):
    """A loopback relay to SQUID_PORT whose replies carry mended NTLM challenges; returns its
    port. It runs in threads of this process and ends with it."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    prefix = b"Proxy-Authenticate: NTLM "

    def pump(src, dst, mend):
        pending = b""
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                pending += data
                if mend:
                    # A challenge line is sent whole; one cut by a read waits for its end.
                    at = pending.find(prefix)
                    if at >= 0 and pending.find(b"\r\n", at) < 0:
                        continue
                    while at >= 0:
                        end = pending.find(b"\r\n", at)
                        start = at + len(prefix)
                        pending = pending[:start] + mend_challenge(pending[start:end]) + pending[end:]
                        at = pending.find(prefix, start)
                dst.sendall(pending)
                pending = b""
        except OSError:
            pass
        finally:
            for sock in (src, dst):
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

    def serve():
        while True:
            client, _ = listener.accept()
            upstream = socket.create_connection(("127.0.0.1", squid_port))
            threading.Thread(target=pump, args=(client, upstream, False), daemon=True).start()
            threading.Thread(target=pump, args=(upstream, client, True), daemon=True).start()

    threading.Thread(target=serve, daemon=True).start()
    return listener.getsockname()[1]


def start_squids(d, env, procs):
    for auth in ("none", "basic", "ntlm"):
        port, log = start_squid(d, auth, procs)
        suffix = "" if auth == "none" else "_" + auth.upper()
        env[f"ZEL_WIN_SQUID{suffix}_PORT"] = str(port)
        env[f"ZEL_WIN_SQUID{suffix}_LOG"] = win_path(log)
        if auth == "ntlm":
            env["ZEL_WIN_SQUID_NTLM_MENDED_PORT"] = str(relay_mending_challenges(port))
    env["ZEL_WIN_SQUID_USER"] = SQUID_USER
    env["ZEL_WIN_SQUID_PASSWORD"] = SQUID_PASSWORD


def start_peers(d, env, procs):
    certs = make_certificates(d)
    make_publisher(d, env)
    root = f"{d}/www"
    os.makedirs(root)
    with open(f"{root}/hello.txt", "wb") as f:
        f.write(HELLO)
    with open(f"{root}/a b.txt", "wb") as f:
        f.write(b"a blank in the name\n")
    with open(f"{root}/big.bin", "wb") as f:
        f.write(bytes(range(256)) * 1200)  # many TLS records
    ports = start_nginx(d, certs, root, procs)
    env["ZEL_WIN_PROXY_PORT"] = str(start_tinyproxy(d, ports["good"], procs))
    env["ZEL_WIN_WWW"] = root  # a Linux path: for Linux-side tests that put up a site
    for name, port in ports.items():
        env[f"ZEL_WIN_{name.upper()}_PORT"] = str(port)
    env["ZEL_WIN_CA_FILE"] = win_path(f"{d}/ca.pem")


def start_display(procs):
    """A virtual X display of the run's own. Xvfb picks the free number itself (-displayfd) and
    tells it once it accepts clients: runs started side by side cannot pick the same one, as
    they can by looking for a free number first (xvfb-run -a)."""
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(w)
    procs.append(proc)
    number = b""
    with os.fdopen(r, "rb", buffering=0) as f:
        while not number.endswith(b"\n") and select.select([f], [], [], 10)[0]:
            chunk = f.read(16)
            if not chunk:
                break
            number += chunk
    if not number.strip().isdigit():
        sys.exit("run_with_peers: Xvfb did not start")
    return ":" + number.strip().decode()


def main():
    args = sys.argv[1:]
    env = dict(os.environ)
    peers = args and args[0] == "--peers"
    if peers:
        args = args[1:]
    squid = peers and args and args[0] == "--squid"
    if squid:
        args = args[1:]
    display = bool(args) and args[0].startswith("--display=")
    if display:
        env["WINEPREFIX"] = env["WINEPREFIX"] + "-" + args[0].split("=", 1)[1]
        os.makedirs(env["WINEPREFIX"], exist_ok=True)
        wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        wine = env.get("ZEL_WINE") or shutil.which("wine64") or "/usr/lib/wine/wine64"
        dpi = 96
        if len(args) > 1 and args[1].startswith("--dpi="):
            dpi = int(args[1].split("=", 1)[1])
            args = args[:1] + args[2:]
        env["ZEL_WIN_DPI"] = str(dpi)  # what the program's windows must find
        # No window manager runs on the virtual display: windows Wine leaves unmanaged are
        # shown at once, where a managed one waits two seconds for a manager that never answers.
        setup = (f'{wine} reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1; '
                 f'{wine} reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d {dpi} /f '
                 '>/dev/null 2>&1; ')
        args = ["sh", "-c", setup + '"$@"; code=$?; ' + wineserver + ' -k; exit $code', "sh"] + args[1:]
    procs = []
    d = tempfile.mkdtemp(prefix="zelwin")
    try:
        if display:
            env["DISPLAY"] = start_display(procs)
        if peers:
            start_peers(d, env, procs)
        if squid:
            start_squids(d, env, procs)
        # Wine may start services that outlive the program; they inherit a file, not the
        # caller's pipe, so whoever waits for the end of the output is not held up by them.
        with tempfile.TemporaryFile() as out:
            code = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT).returncode
            out.seek(0)
            sys.stdout.buffer.write(out.read())
            sys.stdout.flush()
        return code
    finally:
        for p in procs:
            p.send_signal(signal.SIGTERM)
        for p in procs:
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(d, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
