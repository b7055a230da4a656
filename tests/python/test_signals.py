"""Ctrl-C during a long conversion: a SIGINT that arrives while loads or
dumps runs ends the call with KeyboardInterrupt from inside the conversion
(the lock-free decode may finish first), with everything it made released.
The call runs in a child process that the test interrupts."""

import json
import os
import signal
import subprocess
import sys
import time

import pytest

from conftest import MODULE_DIR

CHILD = r"""
import datetime, json, signal, tracemalloc
import _quillmere as q

if CASE == "loads":
    argument = "".join(f"key_{i}: [{i}, value_{i}]\n" for i in range(500_000))
    call = lambda: q.loads(argument)
elif CASE == "loads_all":
    # One key text for every document: distinct interned keys would grow the
    # interpreter's table of interned strs, which keeps its size after they
    # are gone (about 8% of what the call made), however far the call got.
    argument = "".join(f"--- {{key: [{i}]}}\n" for i in range(300_000))
    call = lambda: q.loads_all(argument)
else:
    row = {"when": datetime.datetime(2024, 1, 2, 3, 4, 5), "values": list(range(100))}
    argument = [row] * 100_000
    call = lambda: q.dumps(argument)

seen = []

def interrupted(signum, frame):
    # What the call had made by the time the handler ran.
    seen.append(tracemalloc.get_traced_memory()[0] - baseline)
    raise KeyboardInterrupt

signal.signal(signal.SIGINT, interrupted)
tracemalloc.start()
baseline = tracemalloc.get_traced_memory()[0]
result = None
try:
    # Inside the try: a signal that comes before the call starts must not
    # escape as an error of the child.
    print("start", flush=True)
    result = call()
except KeyboardInterrupt:
    pass
signal.signal(signal.SIGINT, signal.SIG_IGN)
left = tracemalloc.get_traced_memory()[0] - baseline
print(json.dumps({"returned": result is not None, "made": seen, "left": left}), flush=True)
"""


@pytest.mark.parametrize("case", ["loads", "loads_all", "dumps"])
def test_interrupt_stops_the_conversion(case):
    env = dict(os.environ, PYTHONPATH=str(MODULE_DIR))
    child = subprocess.Popen([sys.executable, "-c", f"CASE = {case!r}\n" + CHILD], env=env, text=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        assert child.stdout.readline() == "start\n"
        time.sleep(0.1)  # well inside the call, which runs for a second or more
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=120)
    finally:
        child.kill()
    assert child.returncode == 0, err
    report = json.loads(out)
    # The handler ran before the call had made a result (a completed one
    # takes tens of megabytes; how far it got in 0.1 s depends on the
    # machine's load), and nothing the call made is left.
    assert not report["returned"]
    assert len(report["made"]) == 1 and report["made"][0] < 10_000_000, report
    assert report["left"] < 100_000, report
