#!/usr/bin/env python3
"""The layer check on small engine trees made in a temporary folder, and on
the real engine tree."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "check-engine-layers.py")

MAP = """# Engine
```layers
core
tls access
http
```
"""

# A tree whose includes all go down (or stay in their folder).
RIGHT_WAY = {
    "README.md": MAP,
    "main.cpp": '#include "engine/http/road.h"\n',
    "core/base.h": "#pragma once\n",
    "tls/tls.h": '#pragma once\n#include "engine/core/base.h"\n',
    "access/lists.cpp": '#include "engine/access/lists.h"\n#include "engine/core/base.h"\n',
    "http/road.cpp": '#include "engine/tls/tls.h"\n#include "engine/access/lists.h"\n#include <string>\n',
    # A test may take a fixture from any folder.
    "core/tests/base_test.cpp": '#include "engine/http/tests/fixture.h"\n',
}


def run_check(tree):
    with tempfile.TemporaryDirectory() as folder:
        for path, text in tree.items():
            full = os.path.join(folder, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as file:
                file.write(text)
        result = subprocess.run([sys.executable, CHECK, folder], capture_output=True, text=True, timeout=60)
        return result.returncode, result.stderr


class LayerCheckTest(unittest.TestCase):
    def test_right_way_tree_passes(self):
        self.assertEqual(run_check(RIGHT_WAY), (0, ""))

    def test_wrong_way_includes_fail_naming_file_and_include(self):
        cases = [
            # (file, its text, what the report must say)
            ("core/base.cpp", '#include "engine/tls/tls.h"\n',
             'core/base.cpp:1: #include "engine/tls/tls.h": tls is above core'),
            ("tls/tls.cpp", '#include <cstdio>\n#include "engine/access/lists.h"\n',
             'tls/tls.cpp:2: #include "engine/access/lists.h": access is beside tls, not below it'),
            ("access/lists.h", '#  include "engine/http/road.h"\n',
             'access/lists.h:1: #  include "engine/http/road.h": http is above access'),
            ("http/road.h", '#include "engine/cache/store.h"\n',
             'http/road.h:1: #include "engine/cache/store.h": folder cache is not in the layers block'),
            ("cache/store.cpp", '#include "engine/core/base.h"\n',
             "cache/store.cpp: folder cache is not in the layers block of README.md"),
        ]
        for path, text, report in cases:
            with self.subTest(path=path):
                status, errors = run_check({**RIGHT_WAY, path: text})
                self.assertEqual(status, 1)
                self.assertIn(report, errors)

    def test_map_without_layers_block_fails(self):
        status, errors = run_check({**RIGHT_WAY, "README.md": "# Engine\nno layers here\n"})
        self.assertEqual(status, 1)
        self.assertIn("no closed ```layers block", errors)

    def test_real_engine_tree_passes(self):
        result = subprocess.run([sys.executable, CHECK], capture_output=True, text=True, timeout=60)
        self.assertEqual((result.returncode, result.stderr), (0, ""))


if __name__ == "__main__":
    unittest.main()
