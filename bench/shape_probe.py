"""Timings taken in a fresh process that holds only the inputs they need;
prints one JSON line.

    shape_probe.py [--ballast MB] ratio LIST_FILE
    shape_probe.py [--ballast MB] threads LIST_FILE THREADS SECONDS
    shape_probe.py [--ballast MB] warm LIST_FILE CALLS
    shape_probe.py [--ballast MB] json_shapes SIZES

LIST_FILE is a JSON list of [yaml_path, twin_path, multi] entries.
--ballast makes the process hold about MB megabytes of its own objects
(small dicts, lists, strs and ints, as a server holds its data) before
anything is timed: an allocator that walks or trims the heap on every
call, or memory given back and faulted in again, shows there.

ratio    times quillmere's loads (loads_all when multi) of each YAML file
         and json.loads of its twin (a str) in this one process, the two
         taking turns, and reports the median seconds per call of each, per
         entry. Both run in a process of the same shape: the harness's own
         process, which holds every input, every peer and every earlier
         result, slows json.loads by up to a fifth on large twins, which
         would flatter quillmere's ratio.
threads  loads every YAML file once per round, first on one thread, then on
         THREADS threads at once (each its own rounds), for about SECONDS
         each, and reports the rounds per second of both.

warm     loads each file (and json.loads its twin) CALLS times after two
         warm-up calls and reports per call the wall time, the page faults
         (minor and major, getrusage) and the share of the time spent in
         the kernel (system CPU time over wall time).
json_shapes
         one-line JSON texts (lists of integers, of strings, of records of
         two keys) and pretty-printed records, of each size in SIZES (a
         comma-separated list of item counts): quillmere.loads of the text
         as bytes beside json.loads of it as a str, taking turns.

The cyclic garbage collector is off while timing, as in the harness.
"""

from __future__ import annotations

import gc
import json
import math
import pathlib
import random
import resource
import statistics
import sys
import threading
import time

import quillmere


def reader(multi: bool):
    return quillmere.loads_all if multi else quillmere.loads


def sample(call, inner: int) -> float:
    start = time.perf_counter()
    for _ in range(inner):
        call()
    return (time.perf_counter() - start) / inner


def ratio(entries: list, repeats: int = 7, min_sample: float = 0.02) -> dict:
    rows = []
    for yaml_path, twin_path, multi in entries:
        data = pathlib.Path(yaml_path).read_bytes()
        twin = pathlib.Path(twin_path).read_text(encoding="utf-8")
        load = reader(multi)
        calls = {"quillmere": lambda: load(data), "json": lambda: json.loads(twin)}
        inner = {}
        for name, call in calls.items():
            first = sample(call, 1)
            inner[name] = max(1, math.ceil(min_sample / max(first, 1e-9)))
        samples: dict = {name: [] for name in calls}
        for _ in range(repeats):
            for name, call in calls.items():
                samples[name].append(sample(call, inner[name]))
        rows.append({"yaml": yaml_path, "quillmere": statistics.median(samples["quillmere"]),
                     "json": statistics.median(samples["json"])})
    return {"rows": rows}


def threads(entries: list, count: int, seconds: float) -> dict:
    texts = [(pathlib.Path(y).read_bytes(), reader(multi)) for y, _, multi in entries]

    def one_round():
        for data, load in texts:
            load(data)

    def rounds_for(deadline: float, done: list) -> None:
        n = 0
        while time.perf_counter() < deadline:
            one_round()
            n += 1
        done.append(n)

    one_round()  # warm-up
    start = time.perf_counter()
    done: list = []
    rounds_for(start + seconds, done)
    single = done[0] / (time.perf_counter() - start)

    done = []
    start = time.perf_counter()
    workers = [threading.Thread(target=rounds_for, args=(start + seconds, done)) for _ in range(count)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    together = sum(done) / (time.perf_counter() - start)
    return {"threads": count, "single_rounds_per_second": single, "threaded_rounds_per_second": together,
            "speedup": together / single}


def warm(entries: list, calls: int) -> dict:
    rows = []
    for yaml_path, twin_path, multi in entries:
        data = pathlib.Path(yaml_path).read_bytes()
        twin = pathlib.Path(twin_path).read_text(encoding="utf-8")
        load = reader(multi)
        row = {"yaml": yaml_path}
        for name, call in (("quillmere", lambda: load(data)), ("json", lambda: json.loads(twin))):
            call()
            call()
            before = resource.getrusage(resource.RUSAGE_SELF)
            start = time.perf_counter()
            for _ in range(calls):
                call()
            wall = time.perf_counter() - start
            after = resource.getrusage(resource.RUSAGE_SELF)
            row[name] = {"seconds": wall / calls,
                         "faults": (after.ru_minflt - before.ru_minflt + after.ru_majflt - before.ru_majflt) / calls,
                         "kernel_share": (after.ru_stime - before.ru_stime) / wall,
                         "user_share": (after.ru_utime - before.ru_utime) / wall}
        rows.append(row)
    return {"rows": rows}


def json_shaped(kind: str, count: int) -> str:
    rng = random.Random(count)
    if kind == "integers":
        return json.dumps([rng.randrange(10**9) for _ in range(count)])
    if kind == "strings":
        return json.dumps([f"s{rng.randrange(10**7):07d}" for _ in range(count)])
    records = [{"id": i, "name": f"n{i}"} for i in range(count)]
    return json.dumps(records, indent=2 if kind == "records (pretty)" else None)


def json_shapes(sizes: list[int], repeats: int = 5, min_sample: float = 0.05) -> dict:
    rows = []
    for kind in ("integers", "strings", "records", "records (pretty)"):
        for count in sizes:
            text = json_shaped(kind, count)
            data = text.encode("utf-8")
            calls = {"quillmere": lambda: quillmere.loads(data), "json": lambda: json.loads(text)}
            inner, first = {}, {}
            for name, call in calls.items():
                first[name] = sample(call, 1)
                inner[name] = max(1, math.ceil(min_sample / max(first[name], 1e-9)))
            samples: dict = {name: [] for name in calls}
            for _ in range(3 if first["quillmere"] > 1.0 else repeats):
                for name, call in calls.items():
                    samples[name].append(sample(call, inner[name]))
            rows.append({"kind": kind, "items": count, "bytes": len(data),
                         "quillmere": statistics.median(samples["quillmere"]),
                         "json": statistics.median(samples["json"])})
    return {"rows": rows}


def ballast(megabytes: float) -> list:
    """About `megabytes` of small objects (dicts, lists, strs, ints) that stay alive."""
    count = int(megabytes * 1e6 / 360)
    return [{"id": i, "name": f"item-{i}", "tags": [i, i + 1]} for i in range(count)]


def main() -> None:
    args = sys.argv[1:]
    held = []
    if args[:1] == ["--ballast"]:
        held = ballast(float(args[1]))
        args = args[2:]
    mode = args[0]
    gc.collect()
    gc.freeze()  # the ballast stays put: collections need not walk it
    gc.disable()
    if mode == "json_shapes":
        result = json_shapes([int(n) for n in args[1].split(",")])
    else:
        entries = json.loads(pathlib.Path(args[1]).read_text(encoding="utf-8"))
        if mode == "ratio":
            result = ratio(entries)
        elif mode == "threads":
            result = threads(entries, int(args[2]), float(args[3]))
        elif mode == "warm":
            result = warm(entries, int(args[2]))
        else:
            raise SystemExit(f"unknown mode {mode}")
    result["ballast_objects"] = len(held)
    print(json.dumps(result))


if __name__ == "__main__":
    main()
