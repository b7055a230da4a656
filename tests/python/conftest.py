"""Shared set-up of the Python tests.

The tests import the package from the source tree (python/) and the native
module _quillmere from PYTHONPATH, which scripts/python-tests.sh points at
the build folder (<build>/python).
"""

import os
import subprocess
import sys
import threading
import tracemalloc
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# Hypothesis keeps its caches under build/, not in the source tree.
os.environ.setdefault("HYPOTHESIS_STORAGE_DIRECTORY", str(ROOT / "build" / "hypothesis"))
PACKAGE_DIR = ROOT / "python"
if str(PACKAGE_DIR) not in sys.path:
    sys.path.insert(0, str(PACKAGE_DIR))

import _quillmere  # noqa: E402

MODULE_DIR = Path(_quillmere.__file__).resolve().parent
# The test probe (tests/python/probe) is built beside the module: <build>/probe.
PROBE_DIR = MODULE_DIR.parent / "probe"
if PROBE_DIR.is_dir() and str(PROBE_DIR) not in sys.path:
    sys.path.append(str(PROBE_DIR))


def find_shared_dir():
    """The folder of the shared test data (yaml-test-suite), found like the
    build finds it: $QUILLMERE_SHARED_DIR, else ../shared beside the
    checkout."""
    if os.environ.get("QUILLMERE_SHARED_DIR"):
        return Path(os.environ["QUILLMERE_SHARED_DIR"])
    return ROOT.parent / "shared"


SHARED_DIR = find_shared_dir()


def run_python(code, *path, flags=(), timeout=60):
    """Runs `code` in a fresh interpreter whose path holds `path` and the
    native module (not the package of the source tree unless given)."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([*map(str, path), str(MODULE_DIR)])
    return subprocess.run([sys.executable, *flags, "-c", code], env=env, capture_output=True, text=True,
                          timeout=timeout)


def run_on_small_stack(function):
    """Runs `function` on a thread with a 256 KiB native stack and returns
    its result (or raises its exception)."""
    outcome = {}

    def target():
        try:
            outcome["value"] = function()
        except BaseException as error:  # noqa: BLE001 - re-raised below
            outcome["error"] = error

    old = threading.stack_size(256 * 1024)
    try:
        thread = threading.Thread(target=target)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(old)
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]


def run_letting_others_run(function):
    """Calls `function` while another thread waits for the interpreter
    lock; returns its result and whether that thread ran during the call.
    The long switch interval keeps the waiting thread from being scheduled
    unless the call itself lets go of the lock."""
    ran = []
    gate = threading.Lock()
    gate.acquire()

    def waiter():
        with gate:
            ran.append(True)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(60)
    try:
        thread = threading.Thread(target=waiter)
        thread.start()
        gate.release()
        result = function()
        ran_during_call = bool(ran)
    finally:
        sys.setswitchinterval(interval)
        thread.join()
    return result, ran_during_call


def allocation_growth(call, runs, warm_up=200):
    """Bytes of traced memory left behind by `runs` calls of `call`, counted
    after `warm_up` calls have filled whatever caches the calls fill."""
    tracemalloc.start()
    try:
        for _ in range(warm_up):
            call()
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(runs):
            call()
        return tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()


@pytest.fixture
def fake_package(tmp_path):
    """Writes a stand-in `quillmere` package whose exceptions module has the
    given source; returns the folder to put on the path."""

    def make(exceptions_source):
        package = tmp_path / "quillmere"
        package.mkdir()
        (package / "__init__.py").write_text("")
        (package / "exceptions.py").write_text(exceptions_source)
        return tmp_path

    return make
