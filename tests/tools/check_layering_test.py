#!/usr/bin/env python3
"""The layering check against small source trees: a sound tree passes, and each kind of fault
(an include against the declared direction, a system header outside the platform layer, a
backend's private header reached from above, a cycle in the declarations) fails it by name."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                     "check-layering.py")

DECLARATIONS = """webtessl_library(webtessl_common common)
webtessl_library(webtessl_platform platform DEPENDS common)
webtessl_library(webtessl_http http DEPENDS common platform)
webtessl_library(webtessl_app app EXCLUDE main.cpp
                 DEPENDS http platform)
"""

SOUND_FILES = {
    "common/Text.h": "#pragma once\n#include <string>\n",
    "platform/Files.h": '#pragma once\n#include "common/Text.h"\n',
    "platform/posix/Files.cpp": '#include <unistd.h>\n#include "platform/internal/Records.h"\n',
    "platform/internal/Records.h": "#pragma once\n#include <sys/socket.h>\n",
    "http/Request.cpp": '#include "http/Request.h"\n#include "platform/Files.h"\n',
    "http/Request.h": '#pragma once\n#include "common/Text.h"\n',
    "http/posix/Wait.cpp": "#include <poll.h>\n",
    "app/main.cpp": '#include "http/Request.h"\n',
    "tests/http/Request_test.cpp": '#include <unistd.h>\n#include "app/main.h"\n',
}


class LayeringCheckTest(unittest.TestCase):
    def run_check(self, extra_files=None, declarations=DECLARATIONS):
        with tempfile.TemporaryDirectory() as root:
            files = dict(SOUND_FILES, **(extra_files or {}))
            files["CMakeLists.txt"] = declarations
            for relative, text in files.items():
                path = os.path.join(root, relative)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w", encoding="utf-8") as out:
                    out.write(text)
            done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
            return done.returncode, done.stderr

    def test_sound_tree_passes_with_harness_code_exempt(self):
        code, errors = self.run_check()
        self.assertEqual(code, 0, errors)

    def test_upward_and_undeclared_includes_fail(self):
        code, errors = self.run_check({
            "http/Upward.cpp": '#include "app/Server.h"\n',
            "platform/Skip.cpp": '#include "http/Request.h"\n',
            "common/Stray.cpp": '#include "tests/support/Helper.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn('http/Upward.cpp:1: "app/Server.h": http/ does not build on app/', errors)
        self.assertIn("platform/Skip.cpp:1:", errors)
        self.assertIn('common/Stray.cpp:1: "tests/support/Helper.h" is not in a library', errors)
        self.assertIn("3 fault(s)", errors)

    def test_system_headers_outside_the_platform_layer_fail(self):
        code, errors = self.run_check({
            "http/Socket.cpp": "#include <sys/socket.h>\n#include <cstdio>\n",
            "app/Win.cpp": "#include <Windows.h>\n",
        })
        self.assertEqual(code, 1)
        self.assertIn("http/Socket.cpp:1: system header <sys/socket.h>", errors)
        self.assertIn("app/Win.cpp:1: system header <Windows.h>", errors)
        self.assertIn("2 fault(s)", errors)

    def test_backend_private_headers_are_for_backends_only(self):
        code, errors = self.run_check({
            "http/Peek.cpp": '#include "platform/internal/Records.h"\n',
            "http/posix/Peek.cpp": '#include "platform/posix/Fd.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn('http/Peek.cpp:1: "platform/internal/Records.h" is private', errors)
        self.assertIn("1 fault(s)", errors)

    def test_a_cycle_in_the_declarations_fails(self):
        cyclic = DECLARATIONS.replace("platform DEPENDS common)", "platform DEPENDS common http)")
        code, errors = self.run_check(declarations=cyclic)
        self.assertEqual(code, 1)
        self.assertIn("declared dependencies form a cycle", errors)


if __name__ == "__main__":
    unittest.main()
