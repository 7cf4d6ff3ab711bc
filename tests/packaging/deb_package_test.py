#!/usr/bin/env python3
"""Test of the Debian package: its control data, its files unpacked into a temporary root
(dpkg-deb -x), the installed server run from there as the user service runs it (standard input
at its end, a free port, its own configuration and desktop folder) answering the page, a search
through the installed tessel and a download; then `systemd-analyze verify` on the unit and
`lintian` on the package.

Usage: deb_package_test.py PACKAGE.deb VERSION

Every check must pass. Where systemd-analyze cannot run (no systemd on the machine), that check
is skipped with a message; lintian must be installed (tools/install-deps.sh).
"""

import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback_http import http_get  # noqa: E402

START_TIMEOUT_S = 10
ANSWER_TIMEOUT_S = 10
FIND_TIMEOUT_S = 30
STOP_TIMEOUT_S = 10
IDLE_SECONDS = 2.0
# CPU time the server may use while idle with its input at the end: polling costs a few
# milliseconds a second; a loop that spins on the end of input would take the whole interval.
IDLE_CPU_LIMIT_S = 0.25
# The C library with its password-hashing part (crypt_r, for the optional password), and the
# C++ runtime.
RUNTIME_PACKAGES = {"libc6", "libcrypt1", "libgcc-s1", "libstdc++6"}
PRIVATE_DIR = "usr/lib/webtessl"
UNIT = "usr/lib/systemd/user/webtessl.service"
DOC_DIR = "usr/share/doc/webtessl"


class PackageFailure(Exception):
    """A check of the package test failed."""


def check(condition, what):
    if not condition:
        raise PackageFailure(what)
    print(f"ok - {what}", flush=True)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, check=False, **kwargs)


def free_port():
    """A TCP port that nothing listens on now: bound by the system, read back, released."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data)


def check_control(package, version):
    """Name, version, architecture, a description, and no dependency beyond the C and C++
    runtimes."""
    fields = {}
    for field in ("Package", "Version", "Architecture", "Depends", "Description"):
        result = run(["dpkg-deb", "-f", package, field])
        fields[field] = result.stdout.strip()
    check(fields["Package"] == "webtessl" and fields["Version"] == version and
          fields["Architecture"] == "amd64",
          f"the package is webtessl {version} for amd64 ({fields['Package']} "
          f"{fields['Version']} {fields['Architecture']})")
    depends = {re.split(r"[ (]", item.strip())[0] for item in fields["Depends"].split(",")}
    check(depends and depends <= RUNTIME_PACKAGES,
          f"it depends on the C and C++ runtimes only ({fields['Depends']})")
    summary, _, long_text = fields["Description"].partition("\n")
    check(summary and len(long_text.splitlines()) >= 3,
          f"it has a summary and a longer description ({summary!r})")


def check_layout(root):
    """The programs and their web page together, the link on the path, the unit, the documents."""
    private = os.path.join(root, PRIVATE_DIR)
    for name in ("webtessl", "tessel"):
        path = os.path.join(private, name)
        check(os.path.isfile(path) and os.access(path, os.X_OK), f"{PRIVATE_DIR}/{name} is a program")
    check(os.path.isfile(os.path.join(private, "webroot", "index.html")),
          f"{PRIVATE_DIR}/webroot holds the page")
    link = os.path.join(root, "usr/bin/webtessl")
    check(os.path.islink(link) and os.readlink(link) == "../lib/webtessl/webtessl",
          f"usr/bin/webtessl links to the server ({os.readlink(link) if os.path.islink(link) else None})")
    for path in (UNIT, "usr/share/man/man1/webtessl.1.gz", f"{DOC_DIR}/README.md",
                 f"{DOC_DIR}/copyright", f"{DOC_DIR}/changelog.gz", f"{DOC_DIR}/examples/config.ini"):
        check(os.path.isfile(os.path.join(root, path)), f"{path} is there")
    with open(os.path.join(root, UNIT)) as unit:
        text = unit.read()
    check("ExecStart=/usr/bin/webtessl\n" in text and "StandardInput=null\n" in text,
          "the unit starts /usr/bin/webtessl with no standard input")


class OutputReader:
    """Collects the lines a program writes, from a thread of its own."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\n"))

    def expect(self, wanted, timeout=ANSWER_TIMEOUT_S):
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(deadline - time.monotonic(), 0.01))
            except queue.Empty:
                raise PackageFailure(f"no line {wanted!r}; lines seen: {self.seen[-20:]!r}") from None
            self.seen.append(line)
            if line == wanted:
                return


def cpu_seconds(pid):
    """User and system CPU time the process has used so far."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def processes_of(program):
    """The ids of the running processes whose program file is `program`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.readlink(f"/proc/{entry}/exe") == program:
                found.append(int(entry))
        except OSError:
            pass
    return found


def has_ended(pid):
    """True when the process is gone or only waits to be reaped (its new parent may not)."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rpartition(")")[2].split()[0] == "Z"
    except FileNotFoundError:
        return True


def wait_until_ended(pids):
    deadline = time.monotonic() + STOP_TIMEOUT_S
    while not all(has_ended(pid) for pid in pids) and time.monotonic() < deadline:
        time.sleep(0.05)
    return all(has_ended(pid) for pid in pids)


def find_names(port, term):
    status, _, body = http_get(port, "/find?format=json&term=" + urllib.parse.quote(term))
    if status != 200:
        return status, None
    return status, {item["dir"] + item["file"] for item in json.loads(body)["results"]}


def environment(folder):
    """The server's environment: its own home, configuration and desktop folders."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith("XDG_") and key != "WEBTESSL_DESKTOP"}
    desktop = os.path.join(folder, "desktop")
    os.makedirs(desktop, mode=0o700)
    env.update(HOME=os.path.join(folder, "home"), XDG_CONFIG_HOME=os.path.join(folder, "config"),
               WEBTESSL_DESKTOP=desktop)
    os.makedirs(env["HOME"])
    return env


def write_configuration(root, env, port, found):
    """The shipped sample with its port and folders taken in, and tessel's index on `found`."""
    with open(os.path.join(root, DOC_DIR, "examples", "config.ini")) as sample:
        text = sample.read()
    check(";port=20800\n" in text and "\n;dirs=" in text, "the sample names the port and dirs keys")
    text = text.replace(";port=20800\n", f"port={port}\n")
    text = re.sub(r"\n;dirs=[^\n]*", f"\ndirs={found}", text)
    write_file(os.path.join(env["XDG_CONFIG_HOME"], "WebTessl", "config.ini"), text.encode())
    write_file(os.path.join(env["XDG_CONFIG_HOME"], "Tessel", "tessel.ini"),
               f"[index]\nroots={found}\n".encode())


def check_serving(root, folder, version):
    server_program = os.path.join(root, "usr/bin/webtessl")
    result = run([server_program, "--version"])
    check(result.returncode == 0 and result.stdout == f"webtessl {version}\n",
          f"the installed webtessl --version prints {result.stdout.strip()!r}")

    env = environment(folder)
    port = free_port()
    found = os.path.join(folder, "found")
    data = bytes(range(256)) * 100
    write_file(os.path.join(found, "alpha report.bin"), data)
    write_file(os.path.join(found, "deep", "alpha-two.txt"), b"two")
    write_file(os.path.join(found, "beta.txt"), b"beta")
    write_configuration(root, env, port, found)

    # As the user service runs it: standard input /dev/null, output into a pipe (the journal).
    server = subprocess.Popen([server_program], env=env, cwd=env["HOME"], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    tessel = os.path.join(root, PRIVATE_DIR, "tessel")
    try:
        output = OutputReader(server.stdout)
        output.expect(f"Starting http server on port {port}", START_TIMEOUT_S)
        output.expect("Done.")

        status, headers, body = http_get(port, "/")
        with open(os.path.join(root, PRIVATE_DIR, "webroot", "index.html"), "rb") as page:
            check(status == 200 and body == page.read() and
                  headers.get("content-type", "").startswith("text/html"),
                  f"the page comes from the installed webroot (got {status}, {len(body)} bytes)")

        status, _ = find_names(port, "alpha")
        check(status == 404, f"the first search starts tessel and answers 404 (got {status})")
        wanted = {os.path.join(found, "alpha report.bin"), os.path.join(found, "deep", "alpha-two.txt")}
        deadline = time.monotonic() + FIND_TIMEOUT_S
        status, names = find_names(port, "alpha")
        while names != wanted and time.monotonic() < deadline:
            time.sleep(0.3)
            status, names = find_names(port, "alpha")
        check(names == wanted, f"a later search answers the matching files (got {status}, {names!r})")
        check(len(processes_of(tessel)) == 1, "the tessel that answers is the installed one")

        quoted = urllib.parse.quote(os.path.join(found, "alpha report.bin"), safe="")
        status, headers, body = http_get(port, "/download?file=" + quoted)
        check(status == 200 and body == data and
              headers.get("content-disposition") == 'attachment; filename="alpha report.bin"',
              f"a found file downloads whole (got {status}, {len(body)} bytes)")

        before = cpu_seconds(server.pid)
        time.sleep(IDLE_SECONDS)
        used = cpu_seconds(server.pid) - before
        check(server.poll() is None and used < IDLE_CPU_LIMIT_S,
              f"with its input ended it keeps running without spinning "
              f"({used:.3f} s of CPU in {IDLE_SECONDS} s)")

        # Stopping the user unit signals every process of its control group at once.
        started_tessels = processes_of(tessel)
        server.send_signal(signal.SIGTERM)
        for pid in started_tessels:
            os.kill(pid, signal.SIGTERM)
        output.expect(f"Stoping http server on port {port}", STOP_TIMEOUT_S)
        output.expect("Done.")
        check(server.wait(timeout=STOP_TIMEOUT_S) == 0, "SIGTERM stops it with exit code 0")
        check(wait_until_ended(started_tessels), "SIGTERM, sent with it as the unit's stop does, "
                                                 "ends the tessel it started")
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
        # After a failed check, a tessel may still run: end it.
        for pid in processes_of(tessel):
            os.kill(pid, signal.SIGTERM)


def check_unit(root, folder):
    """systemd-analyze verify on the unit as the user's manager would load it. The copy verified
    names the unpacked program and finds the unpacked manual page, the rest as shipped."""
    if shutil.which("systemd-analyze") is None:
        print("skip - systemd-analyze is not installed: the unit is not verified", flush=True)
        return
    with open(os.path.join(root, UNIT)) as unit:
        text = unit.read()
    units = os.path.join(folder, "units")
    runtime = os.path.join(folder, "runtime")
    os.makedirs(units)
    os.makedirs(runtime, mode=0o700)
    copy = os.path.join(units, os.path.basename(UNIT))
    with open(copy, "w") as unit:
        unit.write(text.replace("ExecStart=/usr/bin/webtessl",
                                "ExecStart=" + os.path.join(root, "usr/bin/webtessl")))
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, MANPATH=os.path.join(root, "usr/share/man"))
    man = [] if shutil.which("man") else ["--man=no"]
    result = run(["systemd-analyze", "verify", "--user", *man, copy], env=env)
    text = (result.stdout + result.stderr).strip()
    if result.returncode != 0 and re.search(r"Failed to (initialize|connect|create)|"
                                            r"not been booted", text):
        print(f"skip - systemd-analyze cannot run here: {text[-300:]}", flush=True)
        return
    check(result.returncode == 0 and not text,
          f"systemd-analyze verify accepts the unit without a remark ({text[-500:]!r})")


def check_lintian(package):
    if shutil.which("lintian") is None:
        raise PackageFailure("lintian is not installed (run tools/install-deps.sh)")
    result = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", package])
    for line in (result.stdout + result.stderr).splitlines():
        print(f"# lintian: {line}", flush=True)
    check(result.returncode == 0, "lintian reports no error")


def main(package, version):
    with tempfile.TemporaryDirectory(prefix="webtessl-deb-") as folder:
        check_control(package, version)
        root = os.path.join(folder, "root")
        result = run(["dpkg-deb", "-x", package, root])
        check(result.returncode == 0, f"dpkg-deb -x unpacks it ({result.stderr.strip()!r})")
        check_layout(root)
        check_serving(root, folder, version)
        check_unit(root, folder)
        check_lintian(package)
    print("# Debian package test passed")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        main(sys.argv[1], sys.argv[2])
    except (PackageFailure, subprocess.SubprocessError, OSError) as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
