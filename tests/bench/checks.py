"""Shared by the script tests: every check runs, and the test lists every one that failed."""

import sys

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def finish():
    for message in failures:
        print("FAILED: " + message)
    print("%d failures" % len(failures))
    sys.exit(1 if failures else 0)
