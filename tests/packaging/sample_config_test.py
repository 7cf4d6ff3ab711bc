#!/usr/bin/env python3
"""The sample configuration (packaging/config.ini) names exactly the keys the server reads, each
under its own section: the keys of config/ConfigKeys.h, where every key follows its section.

Usage: sample_config_test.py SOURCE_FOLDER
"""

import os
import re
import sys

SECTION = re.compile(r'constexpr char kSection\w*\[\] = "([^"]+)";')
KEY = re.compile(r'constexpr char kKey\w*\[\] = "([^"]+)";')
SAMPLE_SECTION = re.compile(r"^\[([^\]]+)\]$")
SAMPLE_KEY = re.compile(r"^;([a-z][a-z0-9]*)=")


def keys_read(header):
    """(section, key) for every key constant, in the section declared before it."""
    keys = set()
    section = None
    for line in header.splitlines():
        if match := SECTION.search(line):
            section = match.group(1)
        elif match := KEY.search(line):
            keys.add((section, match.group(1)))
    return keys


def keys_in_sample(sample):
    """(section, key) for every commented-out key line of the sample."""
    keys = set()
    section = None
    for line in sample.splitlines():
        if match := SAMPLE_SECTION.match(line):
            section = match.group(1)
        elif match := SAMPLE_KEY.match(line):
            keys.add((section, match.group(1)))
    return keys


def main(source):
    with open(os.path.join(source, "config", "ConfigKeys.h")) as header:
        read = keys_read(header.read())
    with open(os.path.join(source, "packaging", "config.ini")) as sample:
        text = sample.read()
    shown = keys_in_sample(text)
    failures = []
    if not read:
        failures.append("no keys found in config/ConfigKeys.h")
    for section, key in sorted(read - shown, key=str):
        failures.append(f"the sample lacks ;{key}= under [{section}]")
    for section, key in sorted(shown - read, key=str):
        failures.append(f"the sample shows ;{key}= under [{section}], which the server does not read")
    if any(line and not line.startswith((";", "[")) for line in text.splitlines()):
        failures.append("the sample sets a value: every key must stay commented out")
    for failure in failures:
        print(f"FAILED: {failure}", file=sys.stderr)
    if not failures:
        print(f"ok - the sample shows the {len(read)} keys the server reads, each in its section")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
