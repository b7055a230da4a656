"""Timings taken in a fresh process that holds only the inputs they need;
prints one JSON line.

    shape_probe.py ratio LIST_FILE
    shape_probe.py threads LIST_FILE THREADS SECONDS

LIST_FILE is a JSON list of [yaml_path, twin_path, multi] entries.

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

The cyclic garbage collector is off while timing, as in the harness.
"""

from __future__ import annotations

import gc
import json
import math
import pathlib
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


def main() -> None:
    mode, list_file = sys.argv[1], sys.argv[2]
    entries = json.loads(pathlib.Path(list_file).read_text(encoding="utf-8"))
    gc.collect()
    gc.disable()
    if mode == "ratio":
        result = ratio(entries)
    elif mode == "threads":
        result = threads(entries, int(sys.argv[3]), float(sys.argv[4]))
    else:
        raise SystemExit(f"unknown mode {mode}")
    print(json.dumps(result))


if __name__ == "__main__":
    main()
