#!/usr/bin/env python3
"""Runs a googletest binary as a few shards side by side, not one process per test.

An instrumented test binary (AddressSanitizer, ThreadSanitizer) takes seconds
to start, so ctest's one process per test spends most of a sanitizer run
starting processes. This runs the binary once per shard (googletest's
GTEST_TOTAL_SHARDS / GTEST_SHARD_INDEX), at most JOBS at a time, and then
checks that the shards together ran every test the binary lists: a shard that
runs nothing, or a filter that drops tests, fails the run instead of passing.

    run_shards.py [--jobs N] [--shards M] BINARY [ARGS...]

Each shard's output goes to a file in a scratch folder; the output of every
shard that failed (a failed assertion, a crash, a sanitizer report, an exit
status other than 0) is printed whole. Exit status: 0 when every shard passed
and the counts agree, 1 otherwise.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

RAN = re.compile(r"^\[==========\] (\d+) tests? from \d+ test suites? ran\.", re.M)


def listed_tests(binary, args):
    """The number of tests the binary would run with ARGS (its filter included)."""
    out = subprocess.run([binary, "--gtest_list_tests", *args], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    # Suites start in column 0, tests are indented; disabled tests are listed
    # but never run, so they are not counted.
    return sum(1 for line in out.splitlines()
               if line.startswith("  ") and not line.strip().startswith("DISABLED_"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--shards", type=int, default=0,
                        help="number of shards (default: the number of jobs)")
    parser.add_argument("binary")
    parser.add_argument("args", nargs=argparse.REMAINDER)
    opts = parser.parse_args()
    jobs = max(1, opts.jobs)
    shards = opts.shards if opts.shards > 0 else jobs

    expected = listed_tests(opts.binary, opts.args)
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="orvex-shards-") as scratch:
        pending = list(range(shards))
        running = {}
        results = {}
        while pending or running:
            while pending and len(running) < jobs:
                index = pending.pop(0)
                log = open(os.path.join(scratch, f"shard-{index}.log"), "w+")
                env = dict(os.environ, GTEST_TOTAL_SHARDS=str(shards),
                           GTEST_SHARD_INDEX=str(index))
                proc = subprocess.Popen([opts.binary, *opts.args], env=env,
                                        stdout=log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)
                running[proc.pid] = (index, proc, log, time.monotonic())
            pid, status = os.wait()
            if pid not in running:
                continue
            index, proc, log, began = running.pop(pid)
            proc.returncode = os.waitstatus_to_exitcode(status)
            log.seek(0)
            text = log.read()
            log.close()
            results[index] = (proc.returncode, text, time.monotonic() - began)

    ran = 0
    failed = []
    for index in range(shards):
        code, text, seconds = results[index]
        counts = RAN.findall(text)
        shard_ran = int(counts[-1]) if counts else 0
        ran += shard_ran
        print(f"shard {index + 1}/{shards}: {shard_ran} tests, exit status {code}, {seconds:.0f} s")
        if code != 0 or not counts:
            failed.append(index)

    for index in failed:
        code, text, _ = results[index]
        print(f"\n===== shard {index + 1}/{shards} failed (exit status {code}) =====")
        sys.stdout.write(text)

    total = time.monotonic() - started
    ok = not failed and ran == expected
    if ran != expected:
        print(f"the shards ran {ran} tests, but the binary lists {expected}")
    print(f"{ran} tests in {shards} shards, {total:.0f} s: {'all passed' if ok else 'FAILED'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
