"""Failed checks, collected and reported alike by every resource check."""
import sys

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
    return ok


def finish(what):
    for f in failures:
        print("FAIL:", f)
    print(f"{what}: {'ok' if not failures else f'{len(failures)} failures'}")
    sys.exit(1 if failures else 0)
