#!/usr/bin/env python3
"""Runs a command and prints "WALL_S CPU_S MAXRSS_KB" for it: wall-clock seconds, user + system
CPU seconds and peak resident set size, to the microsecond (GNU time rounds CPU to 10 ms, which is
most of what a 0.1 s transfer costs). The command's stdout goes to /dev/null, its stderr to the
file named by --stderr. Exits with the command's status.

usage: rusage.py [--stderr FILE] COMMAND [ARG...]
"""
import os
import subprocess
import sys
import time


def main(argv):
    err_path = os.devnull
    if len(argv) >= 2 and argv[0] == "--stderr":
        err_path, argv = argv[1], argv[2:]
    if not argv:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(os.devnull, "wb") as out, open(err_path, "wb") as err:
        start = time.monotonic()
        child = subprocess.Popen(argv, stdout=out, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.monotonic() - start
    print(f"{wall:.6f} {usage.ru_utime + usage.ru_stime:.6f} {usage.ru_maxrss}")
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
