#!/usr/bin/env python3
"""Runs a googletest binary as a few shards side by side, not one process per test.

Starting a test process costs more than most tests: an instrumented binary
(AddressSanitizer, ThreadSanitizer) takes seconds to start, and even the
plain one spends more time starting than testing. This runs the binary once
per shard (googletest's GTEST_TOTAL_SHARDS / GTEST_SHARD_INDEX), JOBS shards
at a time, and then checks that the shards together ran every test the
binary lists: a shard that runs nothing, or a filter that drops tests, fails
the run instead of passing it.

    run_shards.py [--jobs N] [--shards M] [--timeout S] [--isolate] BINARY [ARGS...]

There are several shards per job (default 4): googletest deals tests out
round-robin, so a few slow tests can land in one shard, and small shards let
the jobs that finish early take the rest.

Each shard's output goes to a file in a scratch folder; the output of every
shard that failed (a failed assertion, a crash, a sanitizer report, an exit
status other than 0, more than S seconds) is printed whole. With --isolate,
each test of a failed shard then runs again in a process of its own, as a
runner of one process per test would run it: a crash is pinned on the test
that crashed, the tests after it in the shard still run, and the tests that
fail alone are named. Exit status: 0 when every shard passed and the counts
agree, 1 otherwise.
"""

import argparse
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
import time

RAN = re.compile(r"^\[==========\] (\d+) tests? from \d+ test suites? ran\.", re.M)


def listed_tests(binary, args):
    """The full names of the tests the binary runs with ARGS, in its order.

    Sharding deals out exactly these (disabled tests are listed but never
    run, so they are left out), test k of them to shard k mod M.
    """
    out = subprocess.run([binary, "--gtest_list_tests", *args], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    names = []
    suite = ""
    for line in out.splitlines():
        # "Suite.  # TypeParam = ..." and "  test/0  # GetParam() = ...":
        # what follows the name is a comment.
        name = line.split("#", 1)[0].strip()
        if not name:
            continue
        if not line.startswith(" "):
            suite = name
        elif not suite.startswith("DISABLED_") and not name.startswith("DISABLED_"):
            names.append(suite + name)
    return names


def run(command, env, log_path, timeout):
    """Runs COMMAND with its output in LOG_PATH: (exit status, output, seconds)."""
    began = time.monotonic()
    with open(log_path, "w+") as log:
        proc = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            code = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            # The whole process group: the test may have started orvex runs.
            os.killpg(proc.pid, 9)
            proc.wait()
            log.write(f"\nrun_shards: stopped after {timeout:.0f} s\n")
            code = "timeout"
        log.seek(0)
        return code, log.read(), time.monotonic() - began


def isolate(binary, args, names, env, scratch, timeout, jobs):
    """Runs each of NAMES alone; returns the names of those that failed."""
    def one(item):
        k, name = item
        code, text, _ = run([binary, *args, f"--gtest_filter={name}"], env,
                            os.path.join(scratch, f"alone-{k}.log"), timeout)
        return name, code, text

    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for name, code, text in pool.map(one, enumerate(names)):
            if code != 0 or not RAN.search(text):
                failed.append(name)
                print(f"\n===== {name} failed alone (exit status {code}) =====")
                sys.stdout.write(text)
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--shards", type=int, default=0,
                        help="number of shards (default: 4 per job)")
    parser.add_argument("--timeout", type=float, default=None,
                        help="seconds a shard may take before it is stopped and failed")
    parser.add_argument("--isolate", action="store_true",
                        help="run each test of a failed shard again in a process of its own")
    parser.add_argument("binary")
    parser.add_argument("args", nargs=argparse.REMAINDER)
    opts = parser.parse_args()
    jobs = max(1, opts.jobs)
    expected = listed_tests(opts.binary, opts.args)
    shards = max(1, min(opts.shards if opts.shards > 0 else 4 * jobs, len(expected)))

    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="orvex-shards-") as scratch:
        def shard(index):
            env = dict(os.environ, GTEST_TOTAL_SHARDS=str(shards),
                       GTEST_SHARD_INDEX=str(index))
            return run([opts.binary, *opts.args], env,
                       os.path.join(scratch, f"shard-{index}.log"), opts.timeout)

        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            results = list(pool.map(shard, range(shards)))

        ran = 0
        failed = []
        for index, (code, text, seconds) in enumerate(results):
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

        alone_failed = []
        if opts.isolate and failed:
            names = [name for k, name in enumerate(expected) if k % shards in failed]
            print(f"\nrunning the {len(names)} tests of the failed shards one process each")
            alone_failed = isolate(opts.binary, opts.args, names, dict(os.environ),
                                   scratch, opts.timeout, jobs)

    total = time.monotonic() - started
    ok = not failed and ran == len(expected)
    if ran != len(expected):
        print(f"the shards ran {ran} tests, but the binary lists {len(expected)}")
    if opts.isolate and failed:
        print(f"tests that fail alone: {len(alone_failed)}")
        for name in alone_failed:
            print(f"  {name}")
    print(f"{ran} tests in {shards} shards, {total:.0f} s: {'all passed' if ok else 'FAILED'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
