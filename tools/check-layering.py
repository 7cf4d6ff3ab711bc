#!/usr/bin/env python3
"""Holds the source tree to its layering; exits 1 and names each offending line when it breaks.

The libraries and the folders each builds on are read from the build's own declarations (the
webtessl_library calls in CMakeLists.txt files), so there is one list to keep. Three rules:
  1. A library's file includes headers of its own folder and of the folders it declares, nothing
     else; the declared graph has no cycle, so dependencies run one way.
  2. Operating-system headers are included only in platform/ and in a library's own posix/ or
     win32/ folder (the system-specific half of that library, built for one system only).
  3. The backends' private headers (platform/posix/, platform/win32/, platform/internal/) are
     included only in platform/ and in a library's own posix/ or win32/ folder.
  4. Outside the posix/ folders, a thread_local variable is a plain pointer or number: the
     Windows toolchain destroys thread_local objects after it has released their storage (what a
     thread keeps goes through common/ThreadEnd.h instead).
Usage: check-layering.py [source root] (default: the folder above this script).
"""

import os
import re
import sys

# Harness code, not product code: tests, benchmarks and fuzz targets drive real child processes,
# sockets and files through the system directly, and a test may reach any layer it checks.
EXEMPT_FOLDERS = {"tests", "bench", "fuzz"}
SYSTEM_FOLDERS = {"posix", "win32"}
PRIVATE_PLATFORM = ("platform/posix/", "platform/win32/", "platform/internal/")
OS_HEADER = re.compile(
    r"^(unistd\.h|sys/.*|linux/.*|netinet/.*|arpa/.*|net/if.*\.h|netdb\.h|fcntl\.h|poll\.h|"
    r"pthread\.h|dirent\.h|signal\.h|spawn\.h|termios\.h|dlfcn\.h|pwd\.h|grp\.h|sched\.h|"
    r"semaphore\.h|syslog\.h|mntent\.h|libgen\.h|windows\.h|winsock2?\.h|ws2tcpip\.h|"
    r"win(base|user|def|nt|error|reg)\.h|shellapi\.h|shlobj\.h|io\.h|share\.h|malloc\.h|"
    r"direct\.h|process\.h)$")
LIBRARY_CALL = re.compile(r"webtessl_library\(\s*([^\s)]+)\s+([^\s)]+)([^)]*)\)")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
THREAD_LOCAL = re.compile(r"^\s*(?:static\s+)?thread_local\s+(?:static\s+)?([^;={(]+)")
PLAIN_THREAD_LOCAL = re.compile(
    r"(\*\s*\w+\s*$)|^(const\s+)?(bool|char|int|unsigned|long|short|double|float|size_t|"
    r"u?int(8|16|32|64)_t)\b")


def declared_libraries(root):
    """Maps each library folder to the set of folders it declares."""
    libraries = {}
    for folder, subfolders, files in os.walk(root):
        # Build folders, hidden folders and installed packages hold no declarations of ours.
        subfolders[:] = [name for name in subfolders
                         if not name.startswith(("build", ".")) and name != "node_modules"]
        if "CMakeLists.txt" not in files:
            continue
        with open(os.path.join(folder, "CMakeLists.txt"), encoding="utf-8") as cmake:
            text = cmake.read()
        for call in LIBRARY_CALL.finditer(text):
            if call.group(1) == "target":  # the function's own definition
                continue
            words = call.group(3).split()
            depends = words[words.index("DEPENDS") + 1:] if "DEPENDS" in words else []
            libraries[call.group(2)] = set(depends)
    return libraries


def cycle_in(libraries):
    """A list of folders forming a cycle, or None."""
    state = {}

    def visit(folder, path):
        state[folder] = "open"
        for dependency in sorted(libraries.get(folder, ())):
            if state.get(dependency) == "open":
                return path + [dependency]
            if dependency not in state:
                found = visit(dependency, path + [dependency])
                if found:
                    return found
        state[folder] = "done"
        return None

    for folder in sorted(libraries):
        if folder not in state:
            found = visit(folder, [folder])
            if found:
                return found
    return None


def in_system_folder(relative):
    parts = relative.split("/")
    return parts[0] == "platform" or (len(parts) > 2 and parts[1] in SYSTEM_FOLDERS)


def in_posix_folder(relative):
    return "posix" in relative.split("/")[:-1]


def check_file(root, relative, folder, libraries):
    faults = []
    with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            where = f"{relative}:{number}: "
            local = THREAD_LOCAL.match(line)
            if local and not in_posix_folder(relative) and \
                    not PLAIN_THREAD_LOCAL.search(local.group(1).strip()):
                faults.append(where + "a thread_local object that must be destroyed (keep it "
                              "through common/ThreadEnd.h)")
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, header = match.groups()
            if kind == "<":
                if OS_HEADER.match(header.lower()) and not in_system_folder(relative):
                    faults.append(where + f"system header <{header}> outside the platform layer")
                continue
            target = header.split("/")[0]
            if "/" not in header or target == folder:
                pass
            elif target not in libraries:
                faults.append(where + f'"{header}" is not in a library folder')
            elif target not in libraries[folder]:
                faults.append(where + f'"{header}": {folder}/ does not build on {target}/')
            if header.startswith(PRIVATE_PLATFORM) and not in_system_folder(relative):
                faults.append(where + f'"{header}" is private to the platform backends')
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    libraries = declared_libraries(root)
    faults = []
    cycle = cycle_in(libraries)
    if cycle:
        faults.append("declared dependencies form a cycle: " + " -> ".join(cycle))
    for folder in sorted(libraries):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if name.endswith((".cpp", ".h")):
                    relative = os.path.relpath(os.path.join(directory, name), root)
                    faults += check_file(root, relative.replace(os.sep, "/"), folder, libraries)
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"layering check: {len(faults)} fault(s)", file=sys.stderr)
        return 1
    print(f"layering check: {len(libraries)} libraries, includes run one way")
    return 0


if __name__ == "__main__":
    sys.exit(main())
