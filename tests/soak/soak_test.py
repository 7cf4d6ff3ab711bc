#!/usr/bin/env python3
"""Soak test: the real server and the real tessel under mixed loopback traffic for a bounded time.

Well-behaved clients fetch static files, download files of a shared tree and search with random
terms; misbehaving ones send their request a byte at a time, or vanish halfway through it. In the
middle tessel is killed; the server starts it again on a later search. Every answer must be
well formed, no well-behaved request may fail (a search may answer 404 while tessel is away), and
afterwards the server's thread count, descriptor count and resident memory must be back near
where they were after warming up.

Usage: soak_test.py BUILD_DIR [SECONDS]
"""

import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HOST = "127.0.0.1"
WORDS = ["report", "notes", "budget", "draft", "summary", "photo", "letter", "plan"]
FILE_COUNT = 200
FILE_SIZE = 3000
# How far the figures may end above their warmed-up values.
SPARE_THREADS = 4  # idle workers the server keeps parked
# The windows of the parked workers, the connections to tessel kept for the next search, and a
# few more.
SPARE_DESCRIPTORS = 20
SPARE_RESIDENT_KB = 32 * 1024
SETTLE_SECONDS = 3  # after the traffic: connections close, workers park


class Failure(Exception):
    pass


def free_port():
    with socket.socket() as probe:
        probe.bind((HOST, 0))
        return probe.getsockname()[1]


def read_answer(sock):
    """One HTTP answer: (status, headers, body); raises Failure when it is not well formed."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise Failure("connection closed before the head ended: %r" % data[:200])
        data += chunk
    head, body = data.split(b"\r\n\r\n", 1)
    lines = head.split(b"\r\n")
    parts = lines[0].split(b" ", 2)
    if len(parts) < 2 or not parts[0].startswith(b"HTTP/1.") or not parts[1].isdigit():
        raise Failure("bad status line %r" % lines[0])
    headers = {}
    for line in lines[1:]:
        name, colon, value = line.partition(b":")
        if not colon:
            raise Failure("bad header line %r" % line)
        headers[name.strip().lower()] = value.strip()
    length = headers.get(b"content-length")
    if length is None or not length.isdigit():
        raise Failure("no Content-Length in %r" % head)
    length = int(length)
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise Failure("body cut short: %d of %d" % (len(body), length))
        body += chunk
    if len(body) != length:
        raise Failure("more bytes than announced")
    return int(parts[1]), headers, body


def request(port, target, timeout=20):
    with socket.create_connection((HOST, port), timeout=timeout) as sock:
        sock.sendall(b"GET " + target.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        return read_answer(sock)


def process_figures(pid):
    threads = rss = 0
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("Threads:"):
                threads = int(line.split()[1])
            elif line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    descriptors = len(os.listdir("/proc/%d/fd" % pid))
    return {"threads": threads, "descriptors": descriptors, "resident_kb": rss}


def tessels_on(desktop):
    """The tessel processes whose environment names this desktop."""
    mark = b"WEBTESSL_DESKTOP=" + desktop.encode()
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % name, "rb") as comm:
                if comm.read() != b"tessel\n":
                    continue
            with open("/proc/%s/environ" % name, "rb") as environ:
                if mark in environ.read().split(b"\0"):
                    found.append(int(name))
        except OSError:
            pass
    return found


class Scene:
    """A tree of files, the server's and tessel's settings and a private desktop."""

    def __init__(self, root):
        self.root = root
        self.tree = os.path.join(root, "tree")
        self.config = os.path.join(root, "config")
        self.desktop = os.path.join(root, "desktop")
        os.makedirs(os.path.join(self.config, "WebTessl"))
        os.makedirs(os.path.join(self.config, "Tessel"))
        os.mkdir(self.desktop, 0o700)
        self.files = {}
        for i in range(FILE_COUNT):
            folder = os.path.join(self.tree, "d%02d" % (i % 10))
            os.makedirs(folder, exist_ok=True)
            name = os.path.join(folder, "%s %d.txt" % (WORDS[i % len(WORDS)], i))
            content = (("%d " % i) * FILE_SIZE)[:FILE_SIZE].encode()
            with open(name, "wb") as out:
                out.write(content)
            self.files[name] = content
        self.port = free_port()
        with open(os.path.join(self.config, "WebTessl", "config.ini"), "w") as ini:
            ini.write("[server]\nport=%d\n[settings]\ndirs=%s\n" % (self.port, self.tree))
        with open(os.path.join(self.config, "Tessel", "tessel.ini"), "w") as ini:
            ini.write("[index]\nroots=%s\n" % self.tree)

    def environment(self):
        env = dict(os.environ)
        env["XDG_CONFIG_HOME"] = self.config
        env["WEBTESSL_DESKTOP"] = self.desktop
        return env


class Traffic:
    """The clients, each in its own thread, counting what they met."""

    def __init__(self, scene, static_pages, until):
        self.scene = scene
        self.static_pages = static_pages
        self.until = until
        self.lock = threading.Lock()
        self.counts = {}
        self.failures = []

    def count(self, what):
        with self.lock:
            self.counts[what] = self.counts.get(what, 0) + 1

    def fail(self, text):
        with self.lock:
            if len(self.failures) < 20:
                self.failures.append(text)

    def running(self):
        return time.monotonic() < self.until

    def static_client(self):
        while self.running():
            target, expected = random.choice(self.static_pages)
            try:
                status, _, body = request(self.scene.port, target)
                if status != 200 or body != expected:
                    self.fail("static %s: %d, %d bytes" % (target, status, len(body)))
                self.count("static")
            except (OSError, Failure) as error:
                self.fail("static %s: %s" % (target, error))

    def download_client(self):
        names = list(self.scene.files)
        while self.running():
            name = random.choice(names)
            target = "/download?file=" + name.replace("%", "%25").replace(" ", "%20")
            try:
                status, _, body = request(self.scene.port, target)
                if status != 200 or body != self.scene.files[name]:
                    self.fail("download %s: %d, %d bytes" % (name, status, len(body)))
                self.count("download")
            except (OSError, Failure) as error:
                self.fail("download %s: %s" % (name, error))

    def search_client(self):
        while self.running():
            term = random.choice(WORDS)[: random.randint(2, 6)]
            fmt = random.choice(["&format=json", ""])
            try:
                status, _, body = request(self.scene.port, "/find?term=%s&count=%d%s" % (
                    term, random.randint(1, 50), fmt))
                if status == 200:
                    if fmt and not body.startswith(b"{"):
                        self.fail("search answer is no JSON object: %r" % body[:80])
                    self.count("search answered")
                elif status == 404:
                    self.count("search without tessel")
                else:
                    self.fail("search: status %d" % status)
            except (OSError, Failure) as error:
                self.fail("search: %s" % error)

    def slow_client(self):
        while self.running():
            target, expected = random.choice(self.static_pages)
            try:
                with socket.create_connection((HOST, self.scene.port), timeout=20) as sock:
                    for byte in b"GET " + target.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n":
                        sock.sendall(bytes([byte]))
                        time.sleep(0.005)
                    status, _, body = read_answer(sock)
                    if status != 200 or body != expected:
                        self.fail("slow %s: %d" % (target, status))
                self.count("slow")
            except (OSError, Failure) as error:
                self.fail("slow %s: %s" % (target, error))

    def vanishing_client(self):
        while self.running():
            try:
                with socket.create_connection((HOST, self.scene.port), timeout=5) as sock:
                    cut = random.randint(1, 30)
                    sock.sendall(b"GET /download?file=/x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"[:cut])
                    if random.random() < 0.5:
                        # Asks for a large answer and leaves without reading it.
                        sock.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" * 50)
                self.count("vanished")
            except OSError:
                self.count("vanished")
            time.sleep(0.01)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
    server_program = os.path.join(build, "webtessl")
    webroot = os.path.join(build, "webroot")
    with tempfile.TemporaryDirectory(prefix="webtessl-soak-") as root:
        scene = Scene(root)
        static_pages = []
        for name in sorted(os.listdir(webroot)):
            path = os.path.join(webroot, name)
            if os.path.isfile(path) and not name.startswith("."):
                with open(path, "rb") as page:
                    static_pages.append(("/" + name, page.read()))
        server = subprocess.Popen([server_program], env=scene.environment(), stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            return run(scene, server, static_pages, seconds)
        finally:
            server.send_signal(signal.SIGTERM)
            try:
                server.wait(10)
            except subprocess.TimeoutExpired:
                server.kill()
            for pid in tessels_on(scene.desktop):
                os.kill(pid, signal.SIGKILL)


def await_search(scene, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            if request(scene.port, "/find?term=report&format=json")[0] == 200:
                return True
        except (OSError, Failure):
            pass
        time.sleep(0.2)
    return False


def run(scene, server, static_pages, seconds):
    if not await_search(scene, 30):
        print("soak: the server or tessel did not come up")
        return 1
    # Warm up once with every kind of request, so that what stays allocated for good is counted.
    warm = Traffic(scene, static_pages, time.monotonic() + min(5, seconds / 6))
    run_clients(warm, 1)
    time.sleep(SETTLE_SECONDS)
    before = process_figures(server.pid)

    traffic = Traffic(scene, static_pages, time.monotonic() + seconds)
    killer = threading.Thread(target=kill_tessel_midway, args=(scene, seconds))
    killer.start()
    run_clients(traffic, 3)
    killer.join()
    tessel_back = await_search(scene, 30)
    time.sleep(SETTLE_SECONDS)
    after = process_figures(server.pid)

    print("soak: %.0f s, %s" % (seconds, ", ".join(
        "%s %d" % (what, n) for what, n in sorted(traffic.counts.items()))))
    print("soak: before %s" % before)
    print("soak: after  %s" % after)
    problems = list(traffic.failures)
    if server.poll() is not None:
        problems.append("the server ended with %s" % server.returncode)
    if traffic.counts.get("search answered", 0) == 0:
        problems.append("no search was answered")
    if not tessel_back:
        problems.append("searches were not answered again after tessel was killed")
    if after["threads"] > before["threads"] + SPARE_THREADS:
        problems.append("threads grew from %d to %d" % (before["threads"], after["threads"]))
    if after["descriptors"] > before["descriptors"] + SPARE_DESCRIPTORS:
        problems.append("descriptors grew from %d to %d" % (
            before["descriptors"], after["descriptors"]))
    if after["resident_kb"] > before["resident_kb"] + SPARE_RESIDENT_KB:
        problems.append("resident memory grew from %d KB to %d KB" % (
            before["resident_kb"], after["resident_kb"]))
    for problem in problems:
        print("soak: FAILED: " + problem)
    return 1 if problems else 0


def run_clients(traffic, per_kind):
    kinds = [traffic.static_client, traffic.download_client, traffic.search_client,
             traffic.slow_client, traffic.vanishing_client]
    threads = [threading.Thread(target=kind) for kind in kinds for _ in range(per_kind)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def kill_tessel_midway(scene, seconds):
    time.sleep(seconds / 2)
    for pid in tessels_on(scene.desktop):
        os.kill(pid, signal.SIGKILL)


if __name__ == "__main__":
    sys.exit(main())
