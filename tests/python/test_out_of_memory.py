"""Out of memory while a walk runs on a fresh stack: a stack that cannot be
mapped, or an allocation that fails on one, is MemoryError, and the process
goes on working. Each case runs in a child process of its own, on a thread
with a 64 KiB stack (too small for any walk to start on) under a limit on
the address space."""

import json
import os

import pytest

from conftest import run_python

pytestmark = pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                                reason="AddressSanitizer needs more address space than any limit leaves")

CHILD = r"""
import ctypes, json, resource, threading
import _quillmere as q

n = 300_000
records = [{"name": f"record_{i}", "tags": [f"t{i}", None]} for i in range(n)]
calls = {
    "loads small": (q.loads, "[" * 50 + "x" + "]" * 50),
    "dumps small": (q.dumps, [[[1]]]),
    # A short text whose aliases the decoder expands to 4,000,000 nodes.
    "loads aliases": (q.loads, "a: &a [" + "x, " * 1999 + "x]\nb: [" + "*a, " * 1999 + "*a]\n"),
    "dumps": (q.dumps, records),
    "to_json": (q.to_json, records),
}
function, argument = calls[CASE]
call = lambda: function(argument)
extra = EXTRA_MIB << 20

# Every thread allocates from the main heap, which grows only within the
# limit (another thread's heap is reserved in advance).
ctypes.CDLL(None).mallopt(-8, 1)  # M_ARENA_MAX

def limited():
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    with open("/proc/self/statm") as statm:
        in_use = int(statm.read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (in_use + extra, hard))
    try:
        call()
        return "done"
    except MemoryError:
        return "MemoryError"
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))

def on_small_stack(function):
    outcome = []
    threading.stack_size(64 * 1024)
    thread = threading.Thread(target=lambda: outcome.append(function()))
    thread.start()
    thread.join()
    return outcome[0]

outcome = on_small_stack(limited)
print(json.dumps([outcome, on_small_stack(call) == call()]))
"""


# With 1 MiB to spare no fresh stack (32 MiB) can be mapped; with 36 MiB one
# can, and the walk's allocations fail on it.
@pytest.mark.parametrize("name, extra_mib", [
    ("loads small", 1), ("dumps small", 1),
    ("loads aliases", 36), ("dumps", 36), ("to_json", 36),
])
def test_memory_error_and_then_normal_work(name, extra_mib):
    result = run_python(f"CASE = {name!r}\nEXTRA_MIB = {extra_mib}\n" + CHILD, timeout=300)
    assert result.returncode == 0, result.stderr
    assert json.loads(result.stdout) == ["MemoryError", True]
