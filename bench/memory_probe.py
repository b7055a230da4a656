"""Memory of one load, measured in this fresh process; prints one JSON line.

    memory_probe.py LOADER FILE one|all rss|traced

LOADER is quillmere, quillmere-annotated (OPT_ANNOTATED), json or
CSafeLoader; ``all`` loads every document
(loads_all, load_all), ``one`` the single document. The file is read whole
(bytes; a str for json) before anything is measured.

rss     resets the peak resident size (``/proc/self/clear_refs``), loads
        once and reports VmRSS before, VmHWM and VmRSS after (the result
        still alive), and ru_maxrss before and after, in bytes
traced  loads once under tracemalloc and reports the bytes still allocated
        after the load (the size of the result) and the peak while loading
"""

from __future__ import annotations

import gc
import json
import pathlib
import resource
import sys


def status() -> dict[str, int]:
    values = {}
    for line in open("/proc/self/status", encoding="ascii"):
        key, _, rest = line.partition(":")
        if key in ("VmRSS", "VmHWM"):
            values[key] = int(rest.split()[0]) * 1024
    return values


def max_rss() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def loader(name: str, every: bool):
    if name == "quillmere":
        import quillmere

        return quillmere.loads_all if every else quillmere.loads
    if name == "quillmere-annotated":
        import quillmere

        option = quillmere.OPT_ANNOTATED
        if every:
            return lambda data: quillmere.loads_all(data, option=option)
        return lambda data: quillmere.loads(data, option=option)
    if name == "json":
        return json.loads
    if name == "CSafeLoader":
        import yaml

        if every:
            return lambda data: list(yaml.load_all(data, Loader=yaml.CSafeLoader))
        return lambda data: yaml.load(data, Loader=yaml.CSafeLoader)
    raise SystemExit(f"unknown loader {name}")


def main() -> None:
    name, path, count, mode = sys.argv[1:5]
    load = loader(name, count == "all")
    data = pathlib.Path(path).read_bytes()
    if name == "json":
        data = data.decode("utf-8")
    input_bytes = len(data.encode("utf-8")) if isinstance(data, str) else len(data)
    gc.collect()
    if mode == "traced":
        import tracemalloc

        tracemalloc.start()
        result = load(data)
        current, peak = tracemalloc.get_traced_memory()
        tracemalloc.stop()
        print(json.dumps({"input_bytes": input_bytes, "result_bytes": current, "traced_peak_bytes": peak}))
        del result
        return
    ru_before = max_rss()
    try:
        with open("/proc/self/clear_refs", "w", encoding="ascii") as f:
            f.write("5")
        reset = True
    except OSError:
        reset = False
    before = status()
    result = load(data)
    after = status()
    ru_after = max_rss()
    print(json.dumps({"input_bytes": input_bytes, "rss_before": before["VmRSS"], "hwm_before": before["VmHWM"],
                      "rss_after": after["VmRSS"], "hwm_after": after["VmHWM"], "ru_maxrss_before": ru_before,
                      "ru_maxrss_after": ru_after, "peak_reset": reset}))
    del result


if __name__ == "__main__":
    main()
