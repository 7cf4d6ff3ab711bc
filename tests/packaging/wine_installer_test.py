#!/usr/bin/env python3
"""Test of the Windows installer under Wine: in a fresh prefix it installs silently, the installed
server answers the page and a "/find" that starts the installed tessel.exe and finds real files;
then the uninstaller removes what was installed.

Usage: wine_installer_test.py INSTALLER.exe VERSION

Every check must pass; when Wine is missing or cannot start a program, the test fails.
"""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "win32"))
from wine_smoke_test import (ConsoleReader, SmokeFailure, WinePrefix, check,  # noqa: E402
                             free_port, http_get, tessel_command_lines, wait_for_find,
                             windows_path, write_file)

STOP_KEY = b"\x17\r\n"  # Ctrl+W, then Enter
START_TIMEOUT_S = 30
REMOVAL_TIMEOUT_S = 30
TESSEL_KEY = r"HKCU\Software\Nalo\Tessel"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\WebTessl"
MENU_ENTRIES = ("WebTessl server.lnk", "WebTessl search page.url", "Uninstall WebTessl.lnk")
INSTALLED_FILES = ("webtessl.exe", "tessel.exe", "uninstall.exe",
                   os.path.join("webroot", "index.html"))


def user_folder(prefix):
    """The Linux path of the prefix user's profile folder."""
    return os.path.dirname(os.path.dirname(prefix.app_data_folder()))


def install_folder(prefix):
    return os.path.join(user_folder(prefix), "AppData", "Local", "Programs", "WebTessl")


def menu_folder(prefix):
    return os.path.join(prefix.app_data_folder(), "Microsoft", "Windows", "Start Menu", "Programs",
                        "WebTessl")


def registry_value(prefix, key, name):
    """The text of a registry value, or None when the key or value is absent."""
    result = prefix.run(["wine", "reg", "query", key, "/v", name])
    for line in result.stdout.decode("latin-1").splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0] == name:
            return parts[2].strip()
    return None


def check_installation(prefix, installer, version):
    result = prefix.run(["wine", installer, "/S"])
    prefix.wait_for_server()
    check(result.returncode == 0, f"the installer runs silently (exit code {result.returncode})")
    folder = install_folder(prefix)
    for name in INSTALLED_FILES:
        check(os.path.isfile(os.path.join(folder, name)), f"it installed {name} in the programs folder")
    check(registry_value(prefix, TESSEL_KEY, "InstallPath") == windows_install_path(prefix),
          "it wrote InstallPath under HKCU\\Software\\Nalo\\Tessel")
    for entry in MENU_ENTRIES:
        check(os.path.isfile(os.path.join(menu_folder(prefix), entry)),
              f"the Start menu holds {entry!r}")
    with open(os.path.join(menu_folder(prefix), "WebTessl search page.url")) as shortcut:
        check("URL=http://localhost:20800/" in shortcut.read(), "the page entry opens the page")
    check(registry_value(prefix, UNINSTALL_KEY, "DisplayVersion") == version,
          "it is listed among the installed programs with its version")
    result = prefix.run(["wine", os.path.join(folder, "webtessl.exe"), "--version"])
    printed = result.stdout.decode("latin-1")
    check(result.returncode == 0 and printed == f"webtessl {version}\r\n",
          f"the installed webtessl.exe --version prints {printed.strip()!r}")


def windows_install_path(prefix):
    """The install folder as Windows programs in the prefix name it."""
    profile = os.path.basename(user_folder(prefix))
    return f"C:\\users\\{profile}\\AppData\\Local\\Programs\\WebTessl"


def check_serving(prefix, folder):
    """The installed server answers its page and finds real files through the installed tessel."""
    port = free_port()
    found = os.path.join(folder, "found")
    for name in ("alpha one.txt", os.path.join("deep", "alpha-two.log"), "beta.txt"):
        write_file(os.path.join(found, name), b"x")
    config = os.path.join(folder, "config.ini")
    write_file(config, f"[server]\r\nport={port}\r\n[settings]\r\ndirs={windows_path(found)}\r\n"
                       .encode())
    write_file(os.path.join(prefix.app_data_folder(), "Tessel", "tessel.ini"),
               f"[index]\r\nroots={windows_path(found)}\r\nrescanseconds=1\r\n".encode())
    server = prefix.start([os.path.join(install_folder(prefix), "webtessl.exe"), "-config",
                           windows_path(config)])
    try:
        console = ConsoleReader(server.stdout)
        console.expect(f"Starting http server on port {port}", START_TIMEOUT_S)
        console.expect("Done.")
        status, headers, body = http_get(port, "/")
        with open(os.path.join(install_folder(prefix), "webroot", "index.html"), "rb") as page:
            check(status == 200 and body == page.read() and
                  headers.get("content-type", "").startswith("text/html"),
                  f"the installed server serves the page (got {status}, {len(body)} bytes)")
        status, _, _ = http_get(port, "/find?term=alpha")
        check(status == 404, f"the first search starts tessel.exe and answers 404 (got {status})")
        wanted = {windows_path(os.path.join(found, name))
                  for name in ("alpha one.txt", os.path.join("deep", "alpha-two.log"))}
        wait_for_find(port, "alpha", wanted, "a later search answers the matching files")
        installed_tessel = windows_install_path(prefix) + "\\tessel.exe"
        started = tessel_command_lines()
        check(any(installed_tessel in line for line in started),
              f"the installed tessel.exe answers ({started!r})")
        server.stdin.write(STOP_KEY)
        server.stdin.flush()
        check(server.wait(timeout=START_TIMEOUT_S) == 0, "Ctrl+W stops the installed server")
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
    # tessel.exe keeps running on the desktop; end every program of the prefix before uninstalling.
    subprocess.run(["wineserver", "-k"], env=prefix.env, check=False, timeout=START_TIMEOUT_S)
    prefix.wait_for_server()


def check_uninstallation(prefix):
    folder = install_folder(prefix)
    # A file of the user's own stays, and so does the folder holding it.
    write_file(os.path.join(folder, "notes.txt"), b"mine")
    result = prefix.run(["wine", os.path.join(folder, "uninstall.exe"), "/S"])
    check(result.returncode == 0, "the uninstaller runs silently")
    # The uninstaller copies itself away and goes on from there: wait until it is done.
    deadline = time.monotonic() + REMOVAL_TIMEOUT_S
    while os.path.exists(os.path.join(folder, "uninstall.exe")) and time.monotonic() < deadline:
        time.sleep(0.2)
    prefix.wait_for_server()
    left = sorted(os.path.relpath(os.path.join(base, name), folder)
                  for base, folders, files in os.walk(folder) for name in folders + files)
    check(left == ["notes.txt"], f"it removed every installed file and kept the user's ({left!r})")
    check(not os.path.exists(menu_folder(prefix)), "it removed the Start-menu entries")
    check(registry_value(prefix, TESSEL_KEY, "InstallPath") is None,
          "it removed the InstallPath it wrote")
    check(registry_value(prefix, UNINSTALL_KEY, "DisplayName") is None,
          "it is no longer listed among the installed programs")


def main(installer, version):
    installer = os.path.abspath(installer)
    check(os.path.isfile(installer), f"the installer {os.path.basename(installer)} exists")
    with tempfile.TemporaryDirectory(prefix="webtessl-wine-installer-") as folder:
        started = time.monotonic()
        with WinePrefix(folder) as prefix:
            print(f"# fresh Wine prefix in {time.monotonic() - started:.1f} s", flush=True)
            check_installation(prefix, installer, version)
            check_serving(prefix, folder)
            check_uninstallation(prefix)
        print(f"# Wine installer test passed in {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    try:
        main(sys.argv[1], sys.argv[2])
    except (SmokeFailure, subprocess.SubprocessError, OSError) as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        sys.exit(1)
