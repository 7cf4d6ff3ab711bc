#!/usr/bin/env python3
"""Smoke test of the Windows executables: runs webtessl.exe under Wine (64-bit, headless, a fresh
prefix with the "null" graphics driver) and talks to it over loopback from Linux.

Usage: wine_smoke_test.py BUILD_FOLDER   (the folder of the mingw-w64 build: webtessl.exe, webroot,
tessel.exe, win32_tests.exe)

Every check must pass; when Wine is missing or cannot start a program, the test fails.
"""

import http.client
import json
import os
import queue
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback_http import http_get  # noqa: E402

STOP_KEY = b"\x17\r\n"  # Ctrl+W, then Enter
START_TIMEOUT_S = 30
ANSWER_TIMEOUT_S = 10
PREFIX_TIMEOUT_S = 120
FIND_TIMEOUT_S = 30
RESCAN_SECONDS = 1
SOCKET_LIBRARY_ERROR = "ESynapseError: Error loading Socket interface (ws2_32.dll)!"


class SmokeFailure(Exception):
    """A check of the smoke test failed."""


def check(condition, what):
    if not condition:
        raise SmokeFailure(what)
    print(f"ok - {what}", flush=True)


def windows_path(path):
    """The path as a Windows program under Wine sees it: drive Z: is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def free_port():
    """A TCP port that nothing listens on now: bound by the system, read back, released."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class WinePrefix:
    """A fresh Wine prefix in a temporary folder, set up for headless runs; removed at the end."""

    def __init__(self, folder):
        self.folder = os.path.join(folder, "wineprefix")
        self.env = dict(os.environ, WINEPREFIX=self.folder, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    def __enter__(self):
        for tool in ("wine", "wineserver", "wineboot"):
            if shutil.which(tool) is None:
                raise SmokeFailure(f"{tool} is not installed (run tools/install-deps.sh)")
        self.run(["wineboot", "--init"])
        self.wait_for_server()
        self.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics",
                  "/d", "null", "/f"])
        self.wait_for_server()
        return self

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=PREFIX_TIMEOUT_S, check=False)
        return False

    def run(self, command, extra_env=None, stdin=subprocess.DEVNULL):
        env = dict(self.env, **(extra_env or {}))
        result = subprocess.run(command, env=env, stdin=stdin, capture_output=True,
                                timeout=PREFIX_TIMEOUT_S, check=False)
        return result

    def wait_for_server(self):
        """Waits until the prefix's wineserver has ended: the prefix is then written out."""
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=PREFIX_TIMEOUT_S, check=True)

    def app_data_folder(self):
        """The Linux path of the prefix user's roaming application-data folder."""
        users = os.path.join(self.folder, "drive_c", "users")
        names = [name for name in os.listdir(users) if name != "Public"]
        if len(names) != 1:
            raise SmokeFailure(f"cannot tell the prefix's user among {names!r}")
        return os.path.join(users, names[0], "AppData", "Roaming")

    def start(self, command):
        return subprocess.Popen(["wine"] + command, env=self.env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class ConsoleReader:
    """Collects the lines a program writes, without their CR LF, from a thread of its own."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        self.seen = []
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            self.lines.put(raw.decode("latin-1").rstrip("\r\n"))

    def expect(self, wanted, timeout=ANSWER_TIMEOUT_S):
        """Waits for the line `wanted`; raises SmokeFailure when it does not come in time."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            try:
                line = self.lines.get(timeout=max(left, 0.01))
            except queue.Empty:
                raise SmokeFailure(f"no line {wanted!r}; lines seen: {self.seen[-20:]!r}") from None
            self.seen.append(line)
            if line == wanted:
                print(f"ok - console line {wanted!r}", flush=True)
                return


def check_backend_tests(prefix, program_folder):
    """The Win32 backend's own tests (win32_tests.exe) pass in the prefix."""
    result = prefix.run(["wine", os.path.join(program_folder, "win32_tests.exe"), "--gtest_brief=1"])
    output = result.stdout.decode("latin-1")
    summary = [line for line in output.splitlines() if line.startswith("[  PASSED  ]")]
    check(result.returncode == 0 and summary,
          f"win32_tests.exe: {summary[0] if summary else output[-2000:]}")


def check_missing_socket_library(prefix, program):
    """Without ws2_32.dll the program names the failure on standard error and exits with 1."""
    result = prefix.run(["wine", program], extra_env={"WINEDLLOVERRIDES": "ws2_32=d"})
    stderr = result.stderr.decode("latin-1")
    check(result.returncode == 1 and SOCKET_LIBRARY_ERROR in stderr,
          f"without ws2_32.dll: exit code 1 and {SOCKET_LIBRARY_ERROR!r} "
          f"(got {result.returncode}, {stderr.strip()!r})")


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data)


def check_files(port, server_folder, found_folder):
    """A static file of the web root, the redirect of a folder URI, and a download."""
    page = b"<p>served from the web root under Wine</p>\n"
    write_file(os.path.join(server_folder, "webroot", "docs", "index.html"), page)
    status, headers, body = http_get(port, "/docs/index.html")
    check(status == 200 and body == page and headers.get("content-type", "").startswith("text/html"),
          f"a static file of the web root is served (got {status}, {len(body)} bytes)")
    status, headers, _ = http_get(port, "/docs")
    check(status == 302 and headers.get("location") == "/docs/",
          f"a folder URI without its slash is redirected (got {status}, {headers.get('location')!r})")
    status, _, body = http_get(port, "/docs/")
    check(status == 200 and body == page, f"the folder's index file is served (got {status})")

    data = bytes(range(256)) * 40
    target = os.path.join(found_folder, "report 2024.bin")
    write_file(target, data)
    quoted = urllib.parse.quote(windows_path(target), safe="")
    status, headers, body = http_get(port, "/download?file=" + quoted)
    check(status == 200 and body == data and
          headers.get("content-disposition") == 'attachment; filename="report 2024.bin"' and
          headers.get("content-length") == str(len(data)),
          f"a download by its Windows path comes as an attachment (got {status}, "
          f"{headers.get('content-disposition')!r}, {len(body)} bytes)")
    status, _, _ = http_get(port, "/download?file=" + urllib.parse.quote(
        windows_path(os.path.join(found_folder, "con")), safe=""))
    check(status == 404, f"a device name is not a file to download (got {status})")
    write_file(os.path.join(found_folder, "secret", "key.txt"), b"key")
    for spelling in ("secret", "SECRET"):
        status, _, _ = http_get(port, "/download?file=" + urllib.parse.quote(
            windows_path(os.path.join(found_folder, spelling, "key.txt")), safe=""))
        check(status == 404, f"no download from the excluded folder written {spelling!r} (got {status})")


def find_json(port, term):
    status, _, body = http_get(port, "/find?format=json&term=" + urllib.parse.quote(term))
    if status != 200:
        return status, None
    answer = json.loads(body)
    return status, {item["dir"] + item["file"] for item in answer["results"]}


def wait_for_find(port, term, wanted, what):
    """Repeats a JSON search until it finds exactly `wanted` (Windows paths) or time runs out."""
    deadline = time.monotonic() + FIND_TIMEOUT_S
    status, found = find_json(port, term)
    while found != wanted and time.monotonic() < deadline:
        time.sleep(0.5)
        status, found = find_json(port, term)
    check(found == wanted, f"{what} (got {status}, {sorted(found or [])!r})")


def tessel_command_lines():
    ps = subprocess.run(["ps", "-eo", "args"], capture_output=True, text=True, check=True)
    # Wine shows the command line of the Windows process; quotes and doubled blanks do not count.
    return [" ".join(line.replace('"', "").split()) for line in ps.stdout.splitlines()
            if "tessel.exe" in line]


def check_search(prefix, port, install_folder, found_folder):
    """The first search starts tessel.exe through the shell from the folder the registry names
    (404); later ones answer with the real files of the searched folder, in JSON and HTML; a file
    added later is found after tessel.exe has read the folder again."""
    result = prefix.run(["wine", "reg", "add", r"HKCU\Software\Nalo\Tessel", "/v", "InstallPath",
                         "/d", windows_path(install_folder), "/f"])
    check(result.returncode == 0, "the install folder of tessel.exe is in the registry")
    settings = os.path.join(prefix.app_data_folder(), "Tessel", "tessel.ini")
    write_file(settings, f"[index]\r\nroots={windows_path(found_folder)}\r\n"
                         f"rescanseconds={RESCAN_SECONDS}\r\n".encode())
    for name in ("alpha one.txt", os.path.join("deep", "alpha-two.log"), "beta.txt"):
        write_file(os.path.join(found_folder, name), b"x")
    status, _, _ = http_get(port, "/find?term=alpha")
    check(status == 404, f"the first search, with no tessel running, answers 404 (got {status})")
    wanted = {windows_path(os.path.join(found_folder, name))
              for name in ("alpha one.txt", os.path.join("deep", "alpha-two.log"))}
    wait_for_find(port, "alpha", wanted, "a later search answers the matching files in JSON")
    started = tessel_command_lines()
    expected = windows_path(os.path.join(install_folder, "tessel.exe")) + " -tray"
    check(any(line.endswith(expected) for line in started),
          f"tessel.exe was started from the registry's folder with -tray ({started!r})")

    status, headers, body = http_get(port, "/find?term=alpha")
    check(status == 200 and headers.get("content-type", "").startswith("text/html") and
          b"alpha one.txt" in body and b"alpha-two.log" in body and b"beta.txt" not in body,
          f"the HTML answer lists the matching files (got {status}, {len(body)} bytes)")
    write_file(os.path.join(found_folder, "alpha-late.txt"), b"x")
    wanted.add(windows_path(os.path.join(found_folder, "alpha-late.txt")))
    wait_for_find(port, "alpha", wanted, "a file added later is found after a rescan")


def check_serving(prefix, folder, server_folder, install_folder):
    port = free_port()
    config = os.path.join(folder, "config.ini")
    found_folder = os.path.join(folder, "found")
    os.makedirs(found_folder)
    with open(config, "w", newline="\r\n") as ini:
        ini.write(f"[server]\nport={port}\n[settings]\ndirs={windows_path(found_folder)}\n"
                  f"excludedirs={windows_path(os.path.join(found_folder, 'secret'))}\n")
    server = prefix.start([os.path.join(server_folder, "webtessl.exe"), "-config",
                           windows_path(config)])
    try:
        console = ConsoleReader(server.stdout)
        console.expect(f"Starting http server on port {port}", START_TIMEOUT_S)
        console.expect("Done.")

        status, headers, _ = http_get(port, "/no-such-file.txt")
        check(status == 404 and headers.get("server") == "SynHttpSrv/1.0",
              f"a missing file over loopback answers 404 from SynHttpSrv (got {status})")
        console.expect("GET /no-such-file.txt HTTP/1.1")
        check_files(port, server_folder, found_folder)
        check_search(prefix, port, install_folder, found_folder)

        # A keep-alive connection stays open across the stop: the stop closes it.
        idle = http.client.HTTPConnection("127.0.0.1", port, timeout=ANSWER_TIMEOUT_S)
        idle.request("GET", "/keep-alive")
        idle.getresponse().read()
        server.stdin.write(STOP_KEY)
        server.stdin.flush()
        console.expect(f"Stoping http server on port {port}")
        console.expect("Done.")
        check(server.wait(timeout=ANSWER_TIMEOUT_S) == 0, "Ctrl+W stops the server with exit code 0")
        check(idle.sock.recv(1) == b"", "the stop closed the open keep-alive connection")
        idle.close()
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()


def main(build_folder):
    program_folder = os.path.abspath(build_folder)
    with tempfile.TemporaryDirectory(prefix="webtessl-wine-") as folder:
        server_folder = os.path.join(folder, "server")
        os.makedirs(server_folder)
        shutil.copy2(os.path.join(program_folder, "webtessl.exe"), server_folder)
        shutil.copytree(os.path.join(program_folder, "webroot"),
                        os.path.join(server_folder, "webroot"))
        install_folder = os.path.join(folder, "Program Files", "Tessel")
        os.makedirs(install_folder)
        shutil.copy2(os.path.join(program_folder, "tessel.exe"), install_folder)
        started = time.monotonic()
        with WinePrefix(folder) as prefix:
            print(f"# fresh Wine prefix in {time.monotonic() - started:.1f} s", flush=True)
            check_backend_tests(prefix, program_folder)
            check_missing_socket_library(prefix, os.path.join(server_folder, "webtessl.exe"))
            check_serving(prefix, folder, server_folder, install_folder)
        print(f"# Wine smoke test passed in {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        main(sys.argv[1])
    except (SmokeFailure, subprocess.SubprocessError, OSError) as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
