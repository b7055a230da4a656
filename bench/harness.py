"""Benchmarks quillmere against its peers, side by side in one run.

Run through ``bench/run.sh``, which builds the release module and the engine
benchmarks first. The harness:

1. loads, dumps and writes JSON with quillmere, ``json``, PyYAML's C loader
   and dumper and ruamel.yaml (``typ="safe"`` and ``typ="rt"``) on the same
   inputs, the libraries taking turns within each input;
2. runs the engine benchmarks (``bench_decode``: tokenize plus decode beside
   libyaml and libfyaml; ``bench_writers`` when it is built; ``bench_compose``:
   the round-trip composer beside the plain road's decoder on the corpus,
   and the memory of the corpus's trees);
   with ``bench_roundtrip``, times ruamel.yaml's round-trip dump of every
   corpus file beside quillmere's re-emit of the same file after an edit;
   with ``bench_directives``, times a directive load of every corpus file
   (includes, secrets and environment variables on) beside the plain
   road's decode of it;
3. times ``loads`` beside ``json.loads`` again, each input in a fresh
   process of the same shape (``shape_probe.py``: the process holds only
   that input and its twin, so that neither side pays for the harness's
   full process) and once more in a process that also holds ``--ballast``
   MB (300) of its own objects, as a real caller does; the corpus loaded
   on one thread and on four, in both kinds of process; the page faults
   and kernel time of warm calls on the largest inputs; and one-line
   JSON texts (lists of integers, of strings, of records, and records
   pretty-printed) of 10,000 to 1,000,000 items beside ``json.loads``;
4. measures the peak and the retained memory of ``loads`` in fresh
   subprocesses;
5. prints the tables and the goals, and writes them to ``results.json`` (and
   ``results.txt``) in the output folder.

Inputs
    generated/block_config    about 3 MB of block-style configuration
    generated/flow_heavy      about 2 MB of nested flow collections
    generated/anchors_merges  about 1 MB of anchors, aliases and merge keys
    corpus/<path>             every *.yaml and *.yml file of the corpus
    corpus (sum)              the corpus, one file after another: the sum of
                              the per-file medians
    corpus (one list)         every document of the corpus in one list: one
                              object of about 10 MB for the writers only
    corpus (concatenated)     the corpus files quillmere reads joined into one
                              stream (same-shape load ratios only)

Each input has a JSON twin: for the generated documents ``json.dumps`` of
the data they were written from, for a corpus file ``json.dumps`` of the
list of its documents (as quillmere, failing that PyYAML, loads them;
keys and values JSON cannot hold become strings). ``json.loads`` reads the twin;
every dumper writes the twin's data (one object: the document, or the list
of documents of a multi-document corpus file), so every writer gets the
same plain dicts, lists, strings and numbers.

Calls
    load     quillmere.loads (generated) or loads_all (corpus, every file
             may hold several documents); json.loads on the twin (a str);
             yaml.load / load_all with CSafeLoader; ruamel YAML(typ=...).load
             / load_all. YAML inputs are given as bytes.
    dump     quillmere.dumps; json.dumps; yaml.dump with CSafeDumper
             (sort_keys=False, allow_unicode=True); ruamel dump into a
             StringIO (block style).
    to_json  quillmere.to_json; json.dumps.
    schema   quillmere.loads with and without ``schema=``: a schema built for
             the input's first document that checks every node of it (at
             each step from the root the JSON types found there, with
             ``items`` and ``additionalProperties`` leading on), so that the
             difference is what validating the whole document costs.
    roads    quillmere.loads of the same bytes on the plain road (the
             quillmere column), with OPT_ANNOTATED (annotated) and with
             OPT_INCLUDES (directive; on files that hold no directive) and
             with OPT_ROUND_TRIP (round trip: every document kept as a
             QuillmereDocument, nothing converted), so that annotated/q,
             directive/q and round trip/q are what those roads cost over the
             plain one. The round trip is also set against ruamel.yaml's
             round-trip load (the ruamel rt column of load).

Timing: the first call of each library warms it up and decides how many
calls make one sample (at least ``--min-sample`` seconds); then the
libraries take turns, one sample each, until each has ``--repeats``
samples (three for a call slower than one second, the warm-up counting as
the first). Cells hold the median seconds per call. The cyclic garbage
collector is off while timing, as ``timeit`` has it (``--gc`` keeps it on);
PyYAML's Python-object construction slows by up to 3x with it on.

Ratios
    q/json       quillmere time / json time: lower is better for quillmere
    <peer>/q     peer time / quillmere time: how many times faster quillmere is

For ``corpus (sum)`` each ratio sums both sides over the files both
libraries handled; a library's own sum covers the files it handled.

A call that raises NotImplementedError shows ``n/a``; any other exception
shows ``error`` and is listed under the table.
"""

from __future__ import annotations

import argparse
import datetime
import gc
import io
import json
import math
import os
import pathlib
import platform
import re
import statistics
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

import datagen  # noqa: E402

CORPUS = pathlib.Path(os.environ.get("QUILLMERE_SHARED_DIR", ROOT.parent / "shared")) / "corpus" / "files"

# ---------------------------------------------------------------- libraries


def import_peers():
    peers = {}
    import quillmere

    peers["quillmere"] = quillmere
    try:
        import yaml

        if not getattr(yaml, "__with_libyaml__", False):
            raise ImportError("PyYAML without libyaml")
        peers["yaml"] = yaml
    except ImportError as error:
        print(f"PyYAML's C loader is not available: {error}", file=sys.stderr)
    try:
        import ruamel.yaml

        peers["ruamel"] = ruamel.yaml
    except ImportError as error:
        print(f"ruamel.yaml is not available: {error}", file=sys.stderr)
    return peers


def library_versions(peers) -> dict:
    versions = {"python": platform.python_version()}
    if "yaml" in peers:
        versions["PyYAML"] = peers["yaml"].__version__
        try:
            versions["libyaml (PyYAML)"] = peers["yaml"]._yaml.get_version_string()
        except AttributeError:
            pass
    if "ruamel" in peers:
        versions["ruamel.yaml"] = peers["ruamel"].__version__
        try:
            import _ruamel_yaml

            versions["ruamel.yaml.clib"] = _ruamel_yaml.get_version_string()
        except (ImportError, AttributeError):
            pass
    for module in ("yaml-0.1", "libfyaml", "benchmark"):
        try:
            versions[module] = subprocess.run(["pkg-config", "--modversion", module], capture_output=True,
                                              text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            pass
    return versions


def machine() -> dict:
    info = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            "host": platform.node(), "kernel": platform.release(), "cpus": os.cpu_count()}
    try:
        for line in open("/proc/cpuinfo", encoding="utf-8"):
            if line.startswith("model name"):
                info["cpu"] = line.split(":", 1)[1].strip()
                break
        for line in open("/proc/meminfo", encoding="utf-8"):
            if line.startswith("MemTotal"):
                info["memory_gb"] = round(int(line.split()[1]) / 1024 / 1024, 1)
                break
    except OSError:
        pass
    info["load_average_start"] = [round(x, 2) for x in os.getloadavg()]
    try:
        commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"], capture_output=True,
                                text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True, check=True).stdout.strip()
        info["commit"] = commit + (" (with uncommitted changes)" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        pass
    return info


# ------------------------------------------------------------------- inputs


class Input:
    """One YAML text, its JSON twin and the data every dumper writes."""

    def __init__(self, name: str, yaml_bytes: bytes, multi: bool, twin: str | None, twin_error: str | None = None):
        self.name = name
        self.yaml_bytes = yaml_bytes
        self.multi = multi
        self.twin = twin
        self.twin_error = twin_error
        self.data = json.loads(twin) if twin is not None else None
        if multi and isinstance(self.data, list) and len(self.data) == 1:
            self.data = self.data[0]
        self.path: pathlib.Path | None = None
        self.dump_only = False  # written by the dumpers only (no YAML text of its own)
        self.read_by_quillmere = twin is not None  # a corpus twin may come from PyYAML instead


def generated_inputs(folder: pathlib.Path) -> list[Input]:
    inputs = []
    for name, (yaml_path, json_path) in datagen.write_all(folder).items():
        item = Input("generated/" + name, yaml_path.read_bytes(), False, json_path.read_text(encoding="utf-8"))
        item.path = yaml_path
        inputs.append(item)
    return inputs


def jsonable(value):
    """``value`` with the mapping keys JSON cannot hold (sequences, mappings) made strings."""
    if isinstance(value, dict):
        return {(key if key is None or isinstance(key, (str, int, float, bool)) else str(key)): jsonable(item)
                for key, item in value.items()}
    if isinstance(value, (list, tuple)):
        return [jsonable(item) for item in value]
    return value


def corpus_files() -> list[pathlib.Path]:
    return sorted(p for p in CORPUS.rglob("*") if p.is_file() and p.suffix in (".yaml", ".yml"))


def corpus_inputs(peers) -> list[Input]:
    quillmere = peers["quillmere"]
    inputs = []
    for path in corpus_files():
        text = path.read_bytes()
        documents = None
        reasons = []
        try:
            documents = quillmere.loads_all(text)
        except Exception as error:  # noqa: BLE001  (any loader failure is reported)
            reasons.append(f"quillmere: {type(error).__name__}")
            if "yaml" in peers:
                try:
                    documents = list(peers["yaml"].load_all(text, Loader=peers["yaml"].CSafeLoader))
                except Exception as error2:  # noqa: BLE001
                    reasons.append(f"PyYAML: {type(error2).__name__}")
        twin = twin_error = None
        if documents is not None:
            try:
                twin = json.dumps(documents, default=str)
            except (TypeError, ValueError):
                try:
                    twin = json.dumps(jsonable(documents), default=str)
                except (TypeError, ValueError, RecursionError) as error:
                    twin_error = f"json.dumps: {error}"
        else:
            twin_error = "no loader read it (" + ", ".join(reasons) + ")"
        item = Input("corpus/" + path.relative_to(CORPUS).as_posix(), text, True, twin, twin_error)
        item.path = path
        item.read_by_quillmere = twin is not None and not reasons
        inputs.append(item)
    return inputs


def one_list_input(corpus: list[Input]) -> Input:
    """Every document of the corpus in one list: one large object for the
    writers (about 10 MB of JSON)."""
    documents = []
    for item in corpus:
        if item.twin is not None:
            documents.extend(json.loads(item.twin))  # a corpus twin is the list of the file's documents
    twin = json.dumps(documents)
    item = Input("corpus (one list)", twin.encode("utf-8"), False, twin)  # JSON text as its size
    item.dump_only = True
    return item


def stream_separator(text: str) -> str:
    """What goes before a file joined to a stream, judged by its first line
    that is neither blank nor a comment (as bench_decode's corpus/concatenated
    does): nothing before "---", "..." before a directive, else "---"."""
    for line in text.splitlines():
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        if line.startswith("---"):
            return ""
        if line.startswith("%"):
            return "...\n"
        break
    return "---\n"


def concatenated_stream(corpus: list[Input]) -> tuple[bytes, str] | None:
    """The corpus files given (those quillmere reads), joined into one
    stream, and the JSON twin of its documents."""
    import quillmere

    parts: list[str] = []
    for item in corpus:
        text = item.yaml_bytes.decode("utf-8", errors="replace").removeprefix("\ufeff")
        if parts:
            text = stream_separator(text) + text
        if not text.endswith("\n"):
            text += "\n"
        parts.append(text)
    stream = "".join(parts).encode("utf-8")
    try:
        documents = quillmere.loads_all(stream)
    except Exception as error:  # noqa: BLE001
        print(f"corpus (concatenated): {describe(error)}", file=sys.stderr)
        return None
    try:
        return stream, json.dumps(documents, default=str)
    except (TypeError, ValueError):
        return stream, json.dumps(jsonable(documents), default=str)


# ------------------------------------------------------------------- timing

LOAD_COLUMNS = ["quillmere", "json", "CSafeLoader", "ruamel safe", "ruamel rt"]
DUMP_COLUMNS = ["quillmere", "json", "CSafeDumper", "ruamel safe", "ruamel rt"]
TO_JSON_COLUMNS = ["quillmere", "json"]


def load_calls(item: Input, peers) -> dict:
    """Library name -> a call of no arguments, or a string saying why not."""
    if item.dump_only:
        return {}
    q = peers["quillmere"]
    data = item.yaml_bytes
    calls: dict = {}
    calls["quillmere"] = (lambda: q.loads_all(data)) if item.multi else (lambda: q.loads(data))
    twin = item.twin
    calls["json"] = (lambda: json.loads(twin)) if twin is not None else f"no JSON twin: {item.twin_error}"
    if "yaml" in peers:
        yaml = peers["yaml"]
        loader = yaml.CSafeLoader
        calls["CSafeLoader"] = ((lambda: list(yaml.load_all(data, Loader=loader))) if item.multi
                                else (lambda: yaml.load(data, Loader=loader)))
    if "ruamel" in peers:
        for label, typ in (("ruamel safe", "safe"), ("ruamel rt", "rt")):
            reader = peers["ruamel"].YAML(typ=typ)
            calls[label] = ((lambda r=reader: list(r.load_all(data))) if item.multi
                            else (lambda r=reader: r.load(data)))
    return calls


def dump_calls(item: Input, peers) -> dict:
    if item.data is None and item.twin is None:
        why = f"no data to dump: {item.twin_error}"
        return {name: why for name in DUMP_COLUMNS}
    q = peers["quillmere"]
    obj = item.data
    calls: dict = {"quillmere": lambda: q.dumps(obj), "json": lambda: json.dumps(obj)}
    if "yaml" in peers:
        yaml = peers["yaml"]
        dumper = yaml.CSafeDumper
        calls["CSafeDumper"] = lambda: yaml.dump(obj, Dumper=dumper, sort_keys=False, allow_unicode=True)
    if "ruamel" in peers:
        for label, typ in (("ruamel safe", "safe"), ("ruamel rt", "rt")):
            writer = peers["ruamel"].YAML(typ=typ)
            writer.default_flow_style = False

            def ruamel_dump(w=writer):
                stream = io.StringIO()
                w.dump(obj, stream)
                return stream.getvalue()

            calls[label] = ruamel_dump
    return calls


def to_json_calls(item: Input, peers) -> dict:
    if item.data is None and item.twin is None:
        why = f"no data to write: {item.twin_error}"
        return {name: why for name in TO_JSON_COLUMNS}
    q = peers["quillmere"]
    obj = item.data
    return {"quillmere": lambda: q.to_json(obj), "json": lambda: json.dumps(obj)}


def json_type(value) -> str:
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, int):
        return "integer"
    if isinstance(value, float):
        return "number"
    if isinstance(value, list):
        return "array"
    if isinstance(value, dict):
        return "object"
    return "string"


def visiting_schema(document) -> dict:
    """A schema that every node of ``document`` meets and is checked against:
    schemas have no references here, so it is the union of the document's
    paths, one subschema per step (items of arrays, values of objects)."""
    root: dict = {}
    work = [(document, root)]
    while work:
        value, shape = work.pop()
        types = shape.setdefault("type", [])
        if json_type(value) not in types:
            types.append(json_type(value))
        if isinstance(value, list):
            child = shape.setdefault("items", {})
            work.extend((item, child) for item in value)
        elif isinstance(value, dict):
            child = shape.setdefault("additionalProperties", {})
            work.extend((item, child) for item in value.values())
    return root


SCHEMA_COLUMNS = ["loads", "loads+schema"]


def schema_calls(item: Input, peers) -> dict:
    if item.dump_only:
        return {}
    q = peers["quillmere"]
    data = item.yaml_bytes
    try:
        schema = visiting_schema(q.loads(data))
    except Exception as error:  # noqa: BLE001
        why = f"no schema: {describe(error)}"
        return {name: why for name in SCHEMA_COLUMNS}
    return {"loads": lambda: q.loads(data), "loads+schema": lambda: q.loads(data, schema=schema)}


def schema_table(title: str, rows: list[dict], sizes: dict, corpus_size: int | None) -> Table:
    table = Table(title, ["input", "MB", "loads ms", "loads+schema ms", "validation/loads"],
                  ["validation/loads = (loads+schema - loads) / loads: what checking every node of the first "
                   "document costs over loading it (the text is composed again only to place a violation)",
                   "corpus (sum): per-file medians summed over the files where both ran"])

    def cells_of(cells):
        a, b = cells.get("loads"), cells.get("loads+schema")
        if a and b and a["status"] == "ok" and b["status"] == "ok":
            return a["seconds"], b["seconds"]
        return None

    both = []
    for row in rows:
        pair = cells_of(row["cells"])
        values = [row["input"], f"{sizes[row['input']] / 1e6:.2f}", cell_text(row["cells"].get("loads")),
                  cell_text(row["cells"].get("loads+schema")),
                  fmt_ratio((pair[1] - pair[0]) / pair[0]) if pair else "-"]
        if row["input"].startswith("corpus/"):
            if pair:
                both.append(pair)
        else:
            table.add(values)
    if both and corpus_size is not None:
        plain, checked = sum(p[0] for p in both), sum(p[1] for p in both)
        table.add(["corpus (sum)", f"{corpus_size / 1e6:.2f}", fmt_ms(plain) + f" ({len(both)})", fmt_ms(checked),
                   fmt_ratio((checked - plain) / plain)])
    return table


def schema_cost(rows: list[dict], corpus: bool, name: str | None = None) -> float | None:
    """(loads+schema - loads) / loads over the corpus, or for one input."""
    plain = checked = 0.0
    for row in rows:
        if (corpus and not row["input"].startswith("corpus/")) or (not corpus and row["input"] != name):
            continue
        a, b = row["cells"].get("loads"), row["cells"].get("loads+schema")
        if a and b and a["status"] == "ok" and b["status"] == "ok":
            plain += a["seconds"]
            checked += b["seconds"]
    return (checked - plain) / plain if plain > 0 else None


ROAD_COLUMNS = ["quillmere", "annotated", "directive", "round trip"]


def road_calls(item: Input, peers) -> dict:
    q = peers["quillmere"]
    data = item.yaml_bytes
    return {"quillmere": lambda: q.loads(data), "annotated": lambda: q.loads(data, option=q.OPT_ANNOTATED),
            "directive": lambda: q.loads(data, option=q.OPT_INCLUDES),
            "round trip": lambda: q.loads(data, option=q.OPT_ROUND_TRIP)}


def alias_bomb(levels: int, width: int = 9) -> bytes:
    """Each level an anchored list of `width` aliases of the level below:
    width ** levels strings when every alias is copied."""
    lines = [f"a0: &a0 [{', '.join(['lol'] * width)}]"]
    lines += [f"a{i}: &a{i} [{', '.join([f'*a{i - 1}'] * width)}]" for i in range(1, levels)]
    return ("\n".join(lines) + "\n").encode()


def alias_bomb_table(peers, settings) -> Table:
    """Every road of loads on alias bombs: one within the alias budget, which
    the plain road copies whole, and a 4 KB one beyond it, which every road
    refuses with the plain road's error."""
    q = peers["quillmere"]
    roads = {"plain": 0, "annotated": q.OPT_ANNOTATED, "directive": q.OPT_INCLUDES,
             "annotated+directive": q.OPT_ANNOTATED | q.OPT_INCLUDES}
    table = Table("Alias bombs on every road of loads, ms per call (median)",
                  ["input", "bytes", "nodes if copied", *(f"{road} ms" for road in roads), "outcome"],
                  ["directive: OPT_INCLUDES (the text holds anchors, so it is composed into trees); "
                   "refused: the plain road's \"possible alias bomb\" error, raised on every road"])
    for levels in (6, 64):
        data = alias_bomb(levels)
        outcomes = set()

        def call(option, data=data, outcomes=outcomes):
            try:
                q.loads(data, option=option)
                outcomes.add("loaded")
            except q.exceptions.QuillmereParseError:
                outcomes.add("refused")

        cells = time_row({road: (lambda o=option: call(o)) for road, option in roads.items()}, settings)
        table.add([f"alias bomb, {levels} levels of 9", str(len(data)), f"{9 ** levels:.2g}",
                   *(cell_text(cells.get(road)) for road in roads), "/".join(sorted(outcomes))])
    return table


def describe(error: BaseException) -> str:
    text = f"{type(error).__name__}: {error}"
    text = " ".join(text.split())
    return text if len(text) <= 160 else text[:157] + "..."


def time_row(calls: dict, settings) -> dict:
    """Times every call of one row, the libraries taking turns."""
    cells: dict = {}
    plans: dict = {}
    for name, call in calls.items():
        if isinstance(call, str):
            cells[name] = {"status": "error", "error": call}
            continue
        try:
            start = time.perf_counter()
            result = call()
            first = time.perf_counter() - start
        except NotImplementedError as error:
            cells[name] = {"status": "n/a", "error": describe(error)}
            continue
        except Exception as error:  # noqa: BLE001  (a peer failing on a file is a result)
            cells[name] = {"status": "error", "error": describe(error)}
            continue
        del result
        slow = first >= settings.slow
        plans[name] = {
            "call": call,
            "inner": 1 if slow else max(1, math.ceil(settings.min_sample / max(first, 1e-9))),
            "want": min(3, settings.repeats) if slow else settings.repeats,
            "samples": [first] if slow else [],
        }
    while True:
        pending = [name for name, plan in plans.items() if len(plan["samples"]) < plan["want"]]
        if not pending:
            break
        for name in pending:
            plan = plans[name]
            call, inner = plan["call"], plan["inner"]
            start = time.perf_counter()
            for _ in range(inner):
                call()
            plan["samples"].append((time.perf_counter() - start) / inner)
    for name, plan in plans.items():
        cells[name] = {"status": "ok", "seconds": statistics.median(plan["samples"]), "inner": plan["inner"],
                       "samples": plan["samples"]}
    return cells


def equivalent(a, b, json_floats: bool) -> bool:
    """a == b, with NaN equal to NaN; with json_floats, a's non-finite floats
    stand for None (JSON has no infinities)."""
    if isinstance(a, float) and not math.isfinite(a):
        if json_floats:
            return b is None
        return isinstance(b, float) and (a == b or (math.isnan(a) and math.isnan(b)))
    if isinstance(a, dict):
        return (isinstance(b, dict) and a.keys() == b.keys()
                and all(equivalent(a[k], b[k], json_floats) for k in a))
    if isinstance(a, list):
        return (isinstance(b, list) and len(a) == len(b)
                and all(equivalent(x, y, json_floats) for x, y in zip(a, b)))
    return type(a) is type(b) and a == b


def check_outputs(item: Input, op: str, peers) -> str | None:
    """Whether quillmere's output reads back as the data it was given."""
    if item.twin is None:
        return None
    q = peers["quillmere"]
    try:
        if op == "dump":
            same = equivalent(item.data, q.loads(q.dumps(item.data)), False)
        else:
            same = equivalent(item.data, json.loads(q.to_json(item.data)), True)
    except NotImplementedError:
        return None
    except Exception as error:  # noqa: BLE001
        return f"output check failed: {describe(error)}"
    return None if same else "output does not read back as the data written"


# ------------------------------------------------------------------ reports


def fmt_ms(seconds: float | None) -> str:
    if seconds is None:
        return "-"
    ms = seconds * 1000
    if ms >= 100:
        return f"{ms:.0f}"
    if ms >= 10:
        return f"{ms:.1f}"
    if ms >= 1:
        return f"{ms:.2f}"
    return f"{ms:.3f}"


def fmt_ratio(value: float | None) -> str:
    if value is None:
        return "-"
    if value >= 100:
        return f"{value:.0f}x"
    if value >= 10:
        return f"{value:.1f}x"
    return f"{value:.2f}x"


def fmt_rate(bytes_per_second: float) -> str:
    mb = bytes_per_second / 1e6
    return f"{mb:.0f}" if mb >= 10 else f"{mb:.2f}"


def cell_text(cell: dict | None) -> str:
    if cell is None:
        return "-"
    if cell["status"] == "ok":
        return fmt_ms(cell["seconds"])
    return cell["status"]


def ratio(cells: dict, a: str, b: str) -> float | None:
    """Seconds of a over seconds of b, when both ran."""
    ca, cb = cells.get(a), cells.get(b)
    if not ca or not cb or ca["status"] != "ok" or cb["status"] != "ok" or cb["seconds"] <= 0:
        return None
    return ca["seconds"] / cb["seconds"]


def corpus_sum(rows: list[dict], columns: list[str]) -> dict:
    """The sum row of the corpus: own sums, and pairwise sums for the ratios."""
    summary: dict = {"cells": {}, "pairs": {}}
    for name in columns:
        handled = [r["cells"][name]["seconds"] for r in rows if r["cells"].get(name, {}).get("status") == "ok"]
        statuses = {r["cells"].get(name, {}).get("status") for r in rows}
        if handled:
            summary["cells"][name] = {"status": "ok", "seconds": sum(handled), "files": len(handled),
                                      "of": len(rows)}
        else:
            summary["cells"][name] = {"status": "n/a" if statuses == {"n/a"} else "error", "files": 0,
                                      "of": len(rows)}
    for name in columns[1:]:
        both = [r for r in rows if r["cells"].get("quillmere", {}).get("status") == "ok"
                and r["cells"].get(name, {}).get("status") == "ok"]
        if both:
            q = sum(r["cells"]["quillmere"]["seconds"] for r in both)
            p = sum(r["cells"][name]["seconds"] for r in both)
            summary["pairs"][name] = {"quillmere": q, name: p, "files": len(both)}
    return summary


def pair_ratio(summary: dict, peer: str, peer_over_q: bool) -> float | None:
    pair = summary["pairs"].get(peer)
    if not pair or pair["quillmere"] <= 0 or pair[peer] <= 0:
        return None
    return pair[peer] / pair["quillmere"] if peer_over_q else pair["quillmere"] / pair[peer]


class Table:
    def __init__(self, title: str, columns: list[str], notes: list[str] | None = None):
        self.title = title
        self.columns = columns
        self.rows: list[list[str]] = []
        self.notes = notes or []

    def add(self, row: list[str]) -> None:
        self.rows.append([str(x) for x in row])

    def render(self) -> str:
        widths = [len(c) for c in self.columns]
        for row in self.rows:
            for i, value in enumerate(row):
                widths[i] = max(widths[i], len(value))
        def line(values):
            return "  ".join(v.ljust(widths[0]) if i == 0 else v.rjust(widths[i]) for i, v in enumerate(values))
        out = [self.title, line(self.columns), "  ".join("-" * w for w in widths)]
        out += [line(row) for row in self.rows]
        out += ["  " + note for note in self.notes]
        return "\n".join(out)

    def as_json(self) -> dict:
        return {"title": self.title, "columns": self.columns, "rows": self.rows, "notes": self.notes}


def python_table(title: str, op: str, rows: list[dict], columns: list[str], sizes: dict) -> Table:
    """One table of timings: q, then each peer with its ratio."""
    header = ["input", "MB", columns[0] + " ms", "MB/s"]
    for peer in columns[1:]:
        header += [peer + " ms", "q/json" if peer == "json" else f"{peer}/q"]
    table = Table(title, header)
    for row in rows:
        cells = row["cells"]
        mb = sizes[row["input"]] / 1e6
        q = cells.get("quillmere")
        mbps = f"{mb / q['seconds']:.0f}" if q and q["status"] == "ok" else "-"
        values = [row["input"], f"{mb:.2f}", cell_text(q) + ("*" if row.get("check") else ""), mbps]
        for peer in columns[1:]:
            values.append(cell_text(cells.get(peer)))
            values.append(fmt_ratio(ratio(cells, "quillmere", peer) if peer == "json" else
                                    ratio(cells, peer, "quillmere")))
        table.add(values)
    return table


def sum_row_values(label: str, summary: dict, columns: list[str], size: int) -> list[str]:
    q = summary["cells"]["quillmere"]
    values = [label, f"{size / 1e6:.2f}",
              (fmt_ms(q["seconds"]) if q["status"] == "ok" else q["status"]) + f" ({q['files']}/{q['of']})",
              f"{size / 1e6 / q['seconds']:.0f}" if q["status"] == "ok" else "-"]
    for peer in columns[1:]:
        c = summary["cells"][peer]
        values.append((fmt_ms(c["seconds"]) if c["status"] == "ok" else c["status"]) + f" ({c['files']}/{c['of']})")
        values.append(fmt_ratio(pair_ratio(summary, peer, peer != "json")))
    return values


# ------------------------------------------------------------- engine side


def run_google_benchmark(binary: pathlib.Path, out_json: pathlib.Path, args: list[str], settings) -> dict:
    command = [str(binary), f"--benchmark_out={out_json}", "--benchmark_out_format=json",
               f"--benchmark_repetitions={settings.engine_repeats}", "--benchmark_report_aggregates_only=true",
               f"--benchmark_min_time={settings.engine_min_time}", "--benchmark_enable_random_interleaving=true",
               "--benchmark_format=console", *args]
    print("running", " ".join(command), file=sys.stderr, flush=True)
    completed = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    notes = [line for line in completed.stderr.splitlines() if line.strip()]
    if completed.returncode != 0 or not out_json.exists():
        return {"error": f"{binary.name} exited with {completed.returncode}", "notes": notes, "runs": {}}
    text = out_json.read_text(encoding="utf-8")
    if not text.strip():  # no benchmark matched the filter: google benchmark writes nothing
        return {"runs": {}, "notes": notes, "context": {}}
    report = json.loads(text)
    runs: dict = {}
    for entry in report.get("benchmarks", []):
        name = entry.get("run_name", entry["name"])
        if entry.get("error_occurred"):
            runs[name] = {"status": "error", "error": entry.get("error_message", "error")}
        elif entry.get("aggregate_name") == "median":
            runs[name] = {"status": "ok", "bytes_per_second": entry.get("bytes_per_second"),
                          "ms": entry.get("real_time"), "counters": {k: v for k, v in entry.items()
                                                                      if k in ("items", "input_bytes", "documents",
                                                                               "output_MB", "input_MB",
                                                                               "skipped_files",
                                                                               "refused_documents",
                                                                               "tree_bytes", "tree_ratio")}}
    return {"runs": runs, "notes": notes, "context": report.get("context", {})}


DECODE_READERS = ["quillmere", "libyaml", "libfyaml_events", "libfyaml_document"]


def engine_tables(decode: dict, writers: dict | None) -> tuple[list[Table], list[str]]:
    """The decode tables (per corpus file; the rest) and the writers table, and any errors."""
    runs = decode.get("runs", {})
    inputs: list[str] = []
    for name in runs:
        reader, _, text = name.partition("/")
        if reader in DECODE_READERS and text not in inputs:
            inputs.append(text)
    header = ["input", "MB", "quillmere MB/s", "libyaml MB/s", "q/libyaml", "fy events MB/s", "q/fy events",
              "fy document MB/s", "q/fy document"]
    errors = []

    def row(text: str) -> list[str]:
        values = [text.replace("extra/", "generated/").replace(".yaml", "") if text.startswith("extra/") else text]
        size = None
        for reader in DECODE_READERS:
            run = runs.get(f"{reader}/{text}")
            if run and run["status"] == "ok":
                size = run["counters"].get("input_bytes")
                break
        values.append(f"{size / 1e6:.2f}" if size else "-")
        q = runs.get(f"quillmere/{text}")
        q_rate = q["bytes_per_second"] if q and q["status"] == "ok" else None
        for reader in DECODE_READERS:
            run = runs.get(f"{reader}/{text}")
            if not run:
                cell = "-"
            elif run["status"] != "ok":
                cell = "error"
                errors.append(f"{text}: {reader}: {run['error']}")
            else:
                cell = fmt_rate(run["bytes_per_second"])
            values.append(cell)
            if reader != "quillmere":
                rate = run["bytes_per_second"] if run and run["status"] == "ok" else None
                values.append(fmt_ratio(q_rate / rate) if q_rate and rate else "-")
        return values

    details = Table("Engine: tokenize + decode per corpus file, MB/s of input (median of repetitions)", header)
    summary = Table("Engine: tokenize + decode, MB/s of input (median of repetitions)", header,
                    ["q/x: quillmere throughput over x's; fy events: fy_parser_parse events; "
                     "fy document: fy_parse_load_document trees",
                     "libyaml and fy events only parse (no tree, no scalar resolution); quillmere builds "
                     "resolved Value trees"])
    def order(text: str):
        return (text.startswith("extra/"), text != "corpus/concatenated", text)

    for text in sorted(inputs, key=order):
        values = row(text)
        if text.startswith("corpus/") and text != "corpus/concatenated":
            details.add(values)
        else:
            summary.add(values)
    tables = [details, summary]
    if writers and writers.get("runs"):
        w = Table("Engine: writers (bench_writers), MB/s of output (median of repetitions)",
                  ["benchmark", "MB/s", "output MB", "documents"])
        for name, run in writers["runs"].items():
            if run["status"] != "ok":
                w.add([name, "error", "-", "-"])
                errors.append(f"bench_writers {name}: {run['error']}")
                continue
            c = run["counters"]
            w.add([name, fmt_rate(run["bytes_per_second"]), f"{c.get('output_MB', 0):.2f}",
                   f"{c.get('documents', 0):.0f}"])
        tables.append(w)
    return tables, errors


def compose_table(compose: dict) -> tuple[Table, dict, list[str]]:
    """The composer (with comments attached) beside the plain road's
    tokenize plus decode on the same corpus files, and the bytes the
    corpus's trees take over its input bytes."""
    runs = compose.get("runs", {})
    table = Table("Round trip: compose with comments beside tokenize + decode, the corpus (bench_compose)",
                  ["benchmark", "ms", "MB/s"],
                  ["compose/corpus: YamlNode trees with positions and comments; decode/corpus: Value trees "
                   "(YAML 1.2 core); free/corpus: releasing the composed trees; files either road refuses are "
                   "left out of both",
                   "fastest: the sums over the files of each road's fastest of 20 rounds (less disturbed by "
                   "load than the medians)"])
    errors = []
    for name in ("compose/corpus", "decode/corpus", "free/corpus"):
        run = runs.get(name)
        if not run or run["status"] != "ok":
            table.add([name, "error" if run else "-", "-"])
            if run:
                errors.append(f"bench_compose {name}: {run['error']}")
            continue
        rate = run.get("bytes_per_second")
        table.add([name, f"{run['ms']:.2f}", fmt_rate(rate) if rate else "-"])
    summary: dict = {}
    composed, decoded = runs.get("compose/corpus"), runs.get("decode/corpus")
    if composed and decoded and composed["status"] == "ok" and decoded["status"] == "ok":
        summary["time_ratio"] = composed["ms"] / decoded["ms"]
        summary["tree_ratio"] = composed["counters"].get("tree_ratio")
        table.add(["compose / decode time (medians)", fmt_ratio(summary["time_ratio"]), ""])
    for note in compose.get("notes", []):
        fastest = re.search(r"fastest of \d+ rounds per file: .*ratio ([0-9.]+)", note)
        if fastest:
            summary["fastest_ratio"] = float(fastest.group(1))
            table.add(["compose / decode time (fastest)", fmt_ratio(summary["fastest_ratio"]), ""])
        trees = re.search(r"corpus: (\d+) files, (\d+) bytes; trees: (\d+) bytes", note)
        if trees:
            table.add([f"trees / input bytes ({trees.group(1)} files, {int(trees.group(2)) / 1e6:.2f} MB)",
                       fmt_ratio(int(trees.group(3)) / int(trees.group(2))), ""])
    return table, summary, errors


# -------------------------------------------------------------- round trip


def roundtrip_rows(corpus: list[Input], peers, settings) -> list[dict]:
    """ruamel.yaml's round-trip dump of each corpus file, loaded with its
    round-trip loader first (untimed), as the re-emit after an edit is."""
    rows = []
    for item in corpus:
        yaml = peers["ruamel"].YAML(typ="rt")
        try:
            documents = list(yaml.load_all(item.yaml_bytes))
        except Exception as error:  # noqa: BLE001  (a peer failing on a file is a result)
            rows.append({"input": item.name, "cells": {"ruamel rt": {"status": "error",
                                                                     "error": f"load: {describe(error)}"}}})
            continue

        def dump(y=yaml, docs=documents):
            stream = io.StringIO()
            y.dump_all(docs, stream)
            return stream.getvalue()

        gc.collect()
        if not settings.gc:
            gc.disable()
        try:
            rows.append({"input": item.name, "cells": time_row({"ruamel rt": dump}, settings)})
        finally:
            gc.enable()
    return rows


def roundtrip_table(rows: list[dict], engine: dict, sizes: dict) -> tuple[Table, dict, list[str]]:
    """Per corpus file and summed: quillmere's re-emit (engine) and ruamel's
    round-trip dump, in ms, with their ratio."""
    runs = engine.get("runs", {})
    table = Table("Round trip: re-emit after an edit, ms per corpus file (median)",
                  ["input", "MB", "quillmere ms", "ruamel rt ms", "ruamel rt/q"],
                  ["quillmere: the engine composes the file once, marks its middle leaf modified and "
                   "re-emits every document (bench_roundtrip); ruamel rt: YAML(typ='rt').dump_all of the "
                   "documents its round-trip loader read",
                   "corpus (sum): both sides summed over the files both handled"])
    errors = []
    q_sum = r_sum = 0.0
    files = 0
    for row in rows:
        name = row["input"]
        q = runs.get("reemit/" + name.removeprefix("corpus/"))
        r = row["cells"]["ruamel rt"]
        q_ms = q["ms"] if q and q["status"] == "ok" else None
        r_s = r["seconds"] if r["status"] == "ok" else None
        if r["status"] != "ok":
            errors.append(f"round trip {name}: ruamel rt: {r['error']}")
        if q_ms is not None and r_s is not None:
            q_sum += q_ms / 1000
            r_sum += r_s
            files += 1
        table.add([name, f"{sizes[name] / 1e6:.2f}", fmt_ms(q_ms / 1000) if q_ms is not None else "-",
                   cell_text(r), fmt_ratio(r_s / (q_ms / 1000)) if q_ms and r_s else "-"])
    summary = {"quillmere": q_sum, "ruamel rt": r_sum, "files": files, "of": len(rows)}
    if files:
        table.add([f"corpus (sum) ({files}/{len(rows)})", "-", fmt_ms(q_sum), fmt_ms(r_sum),
                   fmt_ratio(r_sum / q_sum)])
    return table, summary, errors


# ------------------------------------------------------ same-shape processes


def shape_probe(arguments: list[str]) -> dict:
    command = [sys.executable, str(HERE / "shape_probe.py"), *arguments]
    completed = subprocess.run(command, capture_output=True, text=True, env=os.environ.copy())
    if completed.returncode != 0:
        lines = (completed.stderr.strip().splitlines() or ["failed"])
        return {"error": lines[-1]}
    return json.loads(completed.stdout)


# The inputs whose warm calls are measured for page faults and kernel time.
WARM_INPUTS = ("corpus/openai-openapi/openapi.yaml", "generated/block_config", "corpus/argo-cd/install.yaml")


def same_shape_ratios(generated: list[Input], corpus: list[Input], folder: pathlib.Path, pattern,
                      settings) -> tuple[Table, dict]:
    """loads beside json.loads, each input (or the corpus, one file after
    another) in a fresh process that holds just it and its twin; and the
    corpus loaded on one thread and on several."""
    shapes = folder / "shapes"
    shapes.mkdir(parents=True, exist_ok=True)

    def entry(item: Input) -> list:
        twin = shapes / (item.name.replace("/", "__") + ".json")
        twin.write_text(item.twin, encoding="utf-8")
        return [str(item.path), str(twin), item.multi]

    groups: dict[str, list] = {}
    for item in generated:
        if item.name == "generated/block_config" and item.twin is not None:
            groups[item.name] = [entry(item)]
    for item in corpus:
        if item.name in ("corpus/argo-cd/install.yaml", "corpus/openai-openapi/openapi.yaml") and item.twin is not None:
            groups[item.name] = [entry(item)]
    readable = [item for item in corpus if item.read_by_quillmere]
    if readable:
        groups["corpus (sum)"] = [entry(item) for item in readable]
        joined = concatenated_stream(readable)
        if joined is not None:
            stream = Input("corpus (concatenated)", joined[0], True, joined[1])
            stream.path = shapes / "corpus_concatenated.yaml"
            stream.path.write_bytes(joined[0])
            groups[stream.name] = [entry(stream)]
    groups = {name: entries for name, entries in groups.items() if not pattern or pattern.search(name)}

    table = Table("loads beside json.loads, each in a fresh process of the same shape (median ms per call), "
                  f"and again in a process that also holds {settings.ballast:g} MB of its own objects",
                  ["input", "MB", "quillmere ms", "json ms", "q/json", "quillmere ms", "json ms", "q/json"],
                  ["each row runs in its own process holding only its inputs and their JSON twins, quillmere "
                   "and json taking turns; corpus (sum): every file in one process, per-file medians summed; "
                   "corpus (concatenated): the files quillmere reads joined into one stream, read with "
                   "loads_all",
                   "the harness's own process (every input, every peer and their results loaded) slows "
                   "json.loads by up to a fifth on large twins: these are the ratios the goals use"])
    result: dict = {"ratios": {}, "ballast_ratios": {}, "errors": [], "ballast_mb": settings.ballast}
    list_files = {}
    ballast = ["--ballast", str(settings.ballast)]
    for name, entries in groups.items():
        list_file = list_files[name] = shapes / (name.replace("/", "__").replace(" ", "_") + ".list.json")
        list_file.write_text(json.dumps(entries), encoding="utf-8")
        size = sum(pathlib.Path(e[0]).stat().st_size for e in entries)
        cells = [name, f"{size / 1e6:.2f}"]
        for key, extra in (("ratios", []), ("ballast_ratios", ballast)):
            probe = shape_probe(extra + ["ratio", str(list_file)])
            if "error" in probe:
                result["errors"].append(f"same-shape {name} ({key}): {probe['error']}")
                cells += ["error", "error", "-"]
                continue
            q = sum(row["quillmere"] for row in probe["rows"])
            j = sum(row["json"] for row in probe["rows"])
            result[key][name] = {"quillmere": q, "json": j, "ratio": q / j, "bytes": size, "rows": probe["rows"]}
            cells += [fmt_ms(q), fmt_ms(j), fmt_ratio(q / j)]
        table.add(cells)

    if "corpus (sum)" in groups:
        seconds = 0.5 if settings.quick else 3.0
        for key, extra, where in (("threads", [], "a fresh process"),
                                  ("ballast_threads", ballast, f"a process holding {settings.ballast:g} MB")):
            probe = shape_probe(extra + ["threads", str(list_files["corpus (sum)"]), str(settings.threads),
                                         str(seconds)])
            if "error" in probe:
                result["errors"].append(f"{key}: {probe['error']}")
                continue
            result[key] = probe
            table.notes.append(f"{probe['threads']} threads loading the corpus in {where} (each every file in "
                               f"turn, loads_all): {probe['speedup']:.2f}x the corpus rounds per second of one "
                               f"thread ({probe['single_rounds_per_second']:.1f} -> "
                               f"{probe['threaded_rounds_per_second']:.1f})")

    # Warm calls: what the kernel costs a call once the process is warm.
    warm_groups = {name: entries for name, entries in groups.items() if name in WARM_INPUTS}
    warm = Table("Warm calls: page faults and kernel time per call (after two warm-up calls)",
                 ["input", "process", "quillmere ms", "faults", "kernel", "json ms", "faults", "kernel"],
                 ["faults: minor + major page faults per call (getrusage); kernel: system CPU time / wall time",
                  f"process: fresh (holds only the input and its twin) or holding {settings.ballast:g} MB of its "
                  "own small objects (dicts, lists, strs, ints) as a server holds its data",
                  "both libraries build the same Python objects; CPython's allocator maps 1 MiB arenas for "
                  "them and unmaps the arenas a freed result empties, so some faults per call are the "
                  "interpreter's, whoever made the objects"])
    result["warm"] = {}
    for name, entries in warm_groups.items():
        for label, extra in (("fresh", []), (f"{settings.ballast:g} MB", ballast)):
            probe = shape_probe(extra + ["warm", str(list_files[name]), "5" if settings.quick else "20"])
            if "error" in probe:
                result["errors"].append(f"warm {name}: {probe['error']}")
                continue
            q = probe["rows"][0]["quillmere"]
            j = probe["rows"][0]["json"]
            result["warm"][f"{name} ({label})"] = probe["rows"][0]
            warm.add([name, label, fmt_ms(q["seconds"]), f"{q['faults']:.0f}", f"{q['kernel_share'] * 100:.1f}%",
                      fmt_ms(j["seconds"]), f"{j['faults']:.0f}", f"{j['kernel_share'] * 100:.1f}%"])

    # JSON-shaped one-line texts, sizes side by side.
    shapes_table = Table("JSON-shaped texts: loads (bytes) beside json.loads (str), fresh process",
                         ["text", "items", "MB", "quillmere ms", "json ms", "q/json", "q ns/byte", "json ns/byte"],
                         ["one line each except records (pretty): json.dumps(indent=2); records: {\"id\": i, "
                          "\"name\": \"n<i>\"}", "linear: the largest over the smallest quillmere ns/byte of "
                          "one kind, in the goals"])
    result["json_shapes"] = []
    sizes = "10000,100000" if settings.quick else "10000,100000,1000000"
    if not pattern or pattern.search("json_shapes"):
        probe = shape_probe(["json_shapes", sizes])
        if "error" in probe:
            result["errors"].append(f"json shapes: {probe['error']}")
        else:
            result["json_shapes"] = probe["rows"]
            for row in probe["rows"]:
                shapes_table.add([row["kind"], f"{row['items']:,}", f"{row['bytes'] / 1e6:.2f}",
                                  fmt_ms(row["quillmere"]), fmt_ms(row["json"]),
                                  fmt_ratio(row["quillmere"] / row["json"]),
                                  f"{row['quillmere'] / row['bytes'] * 1e9:.1f}",
                                  f"{row['json'] / row['bytes'] * 1e9:.1f}"])
    result["tables"] = [warm, shapes_table]
    return table, result


# -------------------------------------------------------------- directives


def directives_table(engine: dict, sizes: dict) -> tuple[Table, dict]:
    """Per corpus file and summed: the plain road's decode, the round-trip
    compose and the directive load of the same text, in ms, with the ratio
    of the directive load to the decode."""
    runs = engine.get("runs", {})
    table = Table("Directive load of texts without directives, ms per corpus file (median)",
                  ["input", "MB", "decode ms", "compose ms", "directives ms", "directives/decode"],
                  ["decode: decode_documents (the plain road's tokenize and decode); compose: parse_documents "
                   "(the round-trip tree alone); directives: a new include context with includes, secrets and "
                   "environment variables on, and load_with_directives (bench_directives)",
                   "corpus (sum): the columns summed over the files all three read"])
    names = sorted({name.partition("/")[2] for name in runs if name.startswith("directives/")})
    sums = {"decode": 0.0, "compose": 0.0, "directives": 0.0}
    files = 0
    worst = (0.0, "")
    for name in names:
        cells = {kind: runs.get(f"{kind}/{name}") for kind in sums}
        ms = {kind: run["ms"] if run and run["status"] == "ok" else None for kind, run in cells.items()}
        size = sizes.get("corpus/" + name)
        ratio_value = ms["directives"] / ms["decode"] if ms["directives"] and ms["decode"] else None
        table.add(["corpus/" + name, f"{size / 1e6:.2f}" if size else "-",
                   *(fmt_ms(ms[kind] / 1000) if ms[kind] is not None else "error" for kind in sums),
                   fmt_ratio(ratio_value)])
        if all(value is not None for value in ms.values()):
            files += 1
            for kind in sums:
                sums[kind] += ms[kind] / 1000
            if ratio_value and ratio_value > worst[0]:
                worst = (ratio_value, name)
    summary = {**sums, "files": files, "of": len(names), "worst": worst}
    if files:
        table.add([f"corpus (sum) ({files}/{len(names)})", "-", *(fmt_ms(sums[kind]) for kind in sums),
                   fmt_ratio(sums["directives"] / sums["decode"])])
        table.notes.append(f"worst file: {worst[1]} ({fmt_ratio(worst[0])})")
    return table, summary


# ------------------------------------------------------------------ memory


def memory_probe(library: str, path: pathlib.Path, multi: bool, twin: pathlib.Path | None, mode: str) -> dict:
    # Through a shell that forks: a process started straight from this one
    # would inherit this process's peak as its ru_maxrss.
    command = ["/bin/sh", "-c", '"$@"; exit $?', "sh", sys.executable, str(HERE / "memory_probe.py"), library,
               str(twin if library == "json" else path), "all" if multi else "one", mode]
    completed = subprocess.run(command, capture_output=True, text=True, env=os.environ.copy())
    if completed.returncode != 0:
        lines = (completed.stderr.strip().splitlines() or ["failed"])
        return {"error": lines[-1]}
    return json.loads(completed.stdout)


def measure_memory(items: list[Input], folder: pathlib.Path, settings) -> tuple[Table, list[dict]]:
    twins = folder / "twins"
    twins.mkdir(parents=True, exist_ok=True)
    table = Table("Memory of one load in a fresh process (median of runs)",
                  ["input", "loader", "input MB", "result MB", "peak growth MB", "beyond result",
                   "retained MB", "transient", "ru_maxrss before/after MB"],
                  ["result MB: tracemalloc of the result's construction (a separate run); peak growth: "
                   "VmHWM after the load - VmRSS before (peak reset first); quillmere-annotated: "
                   "loads with OPT_ANNOTATED",
                   "beyond result = (peak growth - result) / input size; retained: VmRSS after - before, "
                   "result alive; transient = (peak growth - retained) / input size",
                   "json reads the JSON twin (a str); its input MB is the twin's size"])
    records = []
    libraries = ["quillmere", "quillmere-annotated", "json", "CSafeLoader"]
    for item in items:
        twin_path = twins / (item.name.replace("/", "__") + ".json")
        if item.twin is not None:
            twin_path.write_text(item.twin, encoding="utf-8")
        for library in libraries:
            if library == "json" and item.twin is None:
                continue
            rss_runs = [memory_probe(library, item.path, item.multi, twin_path, "rss")
                        for _ in range(settings.memory_runs)]
            traced = memory_probe(library, item.path, item.multi, twin_path, "traced")
            errors = [r["error"] for r in rss_runs + [traced] if "error" in r]
            if errors:
                table.add([item.name, library, "-", "-", "-", "error", "-", "-", "-"])
                records.append({"input": item.name, "loader": library, "error": errors[0]})
                continue
            size = traced["input_bytes"]
            peak = statistics.median(r["hwm_after"] - r["rss_before"] for r in rss_runs)
            retained = statistics.median(r["rss_after"] - r["rss_before"] for r in rss_runs)
            result = traced["result_bytes"]
            beyond = (peak - result) / size
            ru_before = statistics.median(r["ru_maxrss_before"] for r in rss_runs)
            ru_after = statistics.median(r["ru_maxrss_after"] for r in rss_runs)
            table.add([item.name, library, f"{size / 1e6:.2f}", f"{result / 1e6:.1f}", f"{peak / 1e6:.1f}",
                       f"{beyond:.2f}x", f"{retained / 1e6:.1f}", f"{(peak - retained) / size:.2f}x",
                       f"{ru_before / 1e6:.0f}/{ru_after / 1e6:.0f}"])
            records.append({"input": item.name, "loader": library, "input_bytes": size, "result_bytes": result,
                            "peak_growth_bytes": peak, "retained_bytes": retained, "beyond_result_x_input": beyond,
                            "transient_x_input": (peak - retained) / size,
                            "ru_maxrss_before": ru_before, "ru_maxrss_after": ru_after, "runs": rss_runs,
                            "traced": traced})
    return table, records


# ------------------------------------------------------------------- goals


def round_trip_against_ruamel(python: dict, input_name: str) -> float | None:
    """ruamel.yaml's round-trip load (load table) over quillmere's (roads
    table), summed over the corpus files where both ran."""
    ruamel = {r["input"]: r["cells"].get("ruamel rt") for r in python.get("load", [])}
    ours = {r["input"]: r["cells"].get("round trip") for r in python.get("roads", [])}
    pairs = [(ruamel[name], ours[name]) for name in ours if name in ruamel
             and (name == input_name or (input_name == "corpus (sum)" and name.startswith("corpus/")))]
    pairs = [(r["seconds"], o["seconds"]) for r, o in pairs
             if r and o and r["status"] == "ok" and o["status"] == "ok"]
    total = sum(o for _, o in pairs)
    return sum(r for r, _ in pairs) / total if pairs and total > 0 else None


def goal_rows(python: dict, summaries: dict, engine: dict, memory: list[dict], roundtrip: dict | None,
              shape: dict, directives: dict | None) -> Table:
    table = Table("Goals", ["goal", "input", "measured", "target", "status"],
                  ["n/a: not measurable in this run (the call is not implemented or failed)",
                   "loads / json.loads: from the fresh processes of the same shape (their table above)",
                   "dumps and to_json: every input of the main tables, the corpus sum and its one-list object"])

    def verdict(value, target, at_most):
        if value is None:
            return "n/a"
        return "PASS" if (value <= target if at_most else value >= target) else "MISS"

    def add(label, input_name, value, target, at_most, shown=None):
        text = shown if shown is not None else fmt_ratio(value)
        sign = "<=" if at_most else ">="
        target_text = fmt_ratio(target) if shown is None else f"{target:g}"
        table.add([label, input_name, text, f"{sign} {target_text}", verdict(value, target, at_most)])

    def python_ratio(op, input_name, peer, peer_over_q):
        if input_name == "corpus (sum)":
            summary = summaries.get(op)
            return pair_ratio(summary, peer, peer_over_q) if summary else None
        row = next((r for r in python.get(op, []) if r["input"] == input_name), None)
        if not row:
            return None
        return ratio(row["cells"], peer, "quillmere") if peer_over_q else ratio(row["cells"], "quillmere", peer)

    ratios = shape.get("ratios", {})
    held = shape.get("ballast_ratios", {})
    ballast = shape.get("ballast_mb", 0)
    for input_name, target in (("corpus (sum)", 1.2), ("corpus (concatenated)", 1.2),
                               ("corpus/argo-cd/install.yaml", 1.5), ("generated/block_config", 1.25)):
        found = ratios.get(input_name)
        add("loads time / json.loads time (twin), same-shape processes", input_name,
            found["ratio"] if found else None, target, True)
        found = held.get(input_name)
        add(f"the same, in a process holding {ballast:g} MB", input_name, found["ratio"] if found else None, target,
            True)
    add("CSafeLoader time / loads time", "corpus (sum)", python_ratio("load", "corpus (sum)", "CSafeLoader", True),
        40, False)
    for key, where in (("threads", ""), ("ballast_threads", f", process holding {ballast:g} MB")):
        threads = shape.get(key)
        add(f"{threads['threads'] if threads else 4} threads loading the corpus / one thread{where}", "corpus (sum)",
            threads["speedup"] if threads else None, 2, False)
    for name, row in shape.get("warm", {}).items():
        if name.startswith("corpus/openai-openapi/openapi.yaml"):
            q, j = row["quillmere"], row["json"]
            add("page faults per warm loads_all call", name, q["faults"], 100, True,
                f"{q['faults']:.0f} (json.loads {j['faults']:.0f})")
            add("kernel time / wall time, warm loads_all call, %", name, q["kernel_share"] * 100, 5, True,
                f"{q['kernel_share'] * 100:.1f} (json.loads {j['kernel_share'] * 100:.1f})")
    per_kind: dict = {}
    for row in shape.get("json_shapes", []):
        per_kind.setdefault(row["kind"], []).append(row)
        add("loads time / json.loads time, JSON-shaped text", f"{row['kind']}, {row['items']:,} items",
            row["quillmere"] / row["json"], 1.5, True)
    for kind, rows in per_kind.items():
        per_byte = [r["quillmere"] / r["bytes"] for r in rows]
        json_per_byte = [r["json"] / r["bytes"] for r in rows]
        add("largest / smallest loads ns per byte across sizes (linear)", kind, max(per_byte) / min(per_byte), 1.5,
            True, f"{max(per_byte) / min(per_byte):.2f}x (json.loads {max(json_per_byte) / min(json_per_byte):.2f}x)")
    written = [r["input"] for r in python.get("dump", []) if not r["input"].startswith("corpus/")]
    for label, op, target in (("dumps time / json.dumps time", "dump", 0.6),
                              ("to_json time / json.dumps time", "to_json", 0.4)):
        for input_name in written + ["corpus (sum)"]:
            add(label, input_name, python_ratio(op, input_name, "json", False), target, True)
    for input_name in ("generated/block_config", "corpus (sum)"):
        add("CSafeDumper time / dumps time", input_name, python_ratio("dump", input_name, "CSafeDumper", True), 30,
            False)
    for input_name in ("generated/block_config", "corpus (sum)"):
        value = schema_cost(python.get("schema", []), input_name == "corpus (sum)", input_name)
        add("schema validation time / loads time", input_name, value, 1.0, True)
        add("annotated loads time / loads time", input_name, python_ratio("roads", input_name, "annotated", True),
            3.0, True)
        add("directive road time (no directive in the text) / loads time", input_name,
            python_ratio("roads", input_name, "directive", True), 2.0, True)
        add("round-trip load time / loads time", input_name, python_ratio("roads", input_name, "round trip", True),
            2.5, True)
        add("ruamel rt load time / round-trip load time", input_name, round_trip_against_ruamel(python, input_name),
            100, False)
    if roundtrip and roundtrip.get("files"):
        value = roundtrip["ruamel rt"] / roundtrip["quillmere"]
        add("ruamel rt dump time / re-emit after an edit time", "corpus (sum)", value, 100, False)
    if directives and directives.get("files"):
        add("directive load time / plain decode time (no directives)", "corpus (sum)",
            directives["directives"] / directives["decode"], 2, True)
    composer = engine.get("compose", {}).get("summary")
    if composer:
        # The medians; the sums of the fastest times stand in the composer's table.
        add("compose with comments time / tokenize+decode time", "corpus (bench_compose)",
            composer.get("time_ratio"), 2, True)
        add("round-trip trees / input bytes", "corpus (bench_compose)", composer.get("tree_ratio"), 8, True)
    runs = engine.get("runs", {})
    for text, label in (("corpus/concatenated", "corpus/concatenated"),
                        ("extra/block_config.yaml", "generated/block_config")):
        q, y = runs.get(f"quillmere/{text}"), runs.get(f"libyaml/{text}")
        value = (q["bytes_per_second"] / y["bytes_per_second"]
                 if q and y and q["status"] == "ok" and y["status"] == "ok" else None)
        add("tokenize+decode MB/s / libyaml parse MB/s", label, value, 3, False)

    measured = [r for r in memory if r["loader"] == "quillmere" and "error" not in r]
    in_corpus = [r for r in measured if r["input"].startswith("corpus/")]
    for record in measured:
        if record["input"].startswith("corpus/"):
            continue
        target = 1.5 if record["input"] == "generated/block_config" else 3.0
        add("loads memory beyond the result / input size", record["input"], record["beyond_result_x_input"],
            target, True)
    if in_corpus:
        beyond = sum(r["peak_growth_bytes"] - r["result_bytes"] for r in in_corpus)
        size = sum(r["input_bytes"] for r in in_corpus)
        add("loads memory beyond the result / input size", f"corpus ({len(in_corpus)} largest files, summed)",
            beyond / size, 1.0, True)
    if measured:
        worst = max(measured, key=lambda r: r["retained_bytes"] - r["result_bytes"])
        kept = (worst["retained_bytes"] - worst["result_bytes"]) / 2**20
        twin = next((r for r in memory if r["loader"] == "json" and r["input"] == worst["input"] and "error" not in r),
                    None)
        shown = f"{kept:.2f}" + (f" (json.loads {(twin['retained_bytes'] - twin['result_bytes']) / 2**20:.2f})"
                                 if twin else "")
        # What stays is mostly the blocks kept for the next call, bounded by
        # the module's reuse bound (16 MiB for the process).
        add("resident after a load beyond the result, MiB (worst input; blocks kept for reuse)", worst["input"],
            kept, 16.0, True, shown)
    for record in memory:
        if record["loader"] == "quillmere-annotated" and "traced" in record:
            # Python objects made beyond the result show as traced memory
            # that the load needed at its peak but did not keep.
            traced = record["traced"]
            add("annotated loads: Python memory beyond the result / result", record["input"],
                (traced["traced_peak_bytes"] - traced["result_bytes"]) / traced["result_bytes"], 0.05, True)
    return table


# -------------------------------------------------------------------- main


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "bench-release"),
                        help="the release build folder (module in <build>/python, benchmarks in <build>/bench)")
    parser.add_argument("--out", default=str(ROOT / "build" / "bench"), help="folder for data and results")
    parser.add_argument("--repeats", type=int, default=5, help="samples per call (median taken)")
    parser.add_argument("--min-sample", type=float, default=0.02, help="seconds of calls in one sample")
    parser.add_argument("--slow", type=float, default=1.0, help="calls slower than this get three samples")
    parser.add_argument("--engine-repeats", type=int, default=5)
    parser.add_argument("--engine-min-time", type=float, default=0.05)
    parser.add_argument("--memory-runs", type=int, default=3)
    parser.add_argument("--filter", default="", help="only inputs whose name matches this regular expression")
    parser.add_argument("--gc", action="store_true", help="keep the cyclic garbage collector on while timing")
    parser.add_argument("--quick", action="store_true", help="fewer, shorter samples (for trying the harness)")
    parser.add_argument("--skip-python", action="store_true")
    parser.add_argument("--skip-engine", action="store_true")
    parser.add_argument("--skip-memory", action="store_true")
    parser.add_argument("--skip-shape", action="store_true",
                        help="leave out the fresh-process load ratios and the thread scaling")
    parser.add_argument("--threads", type=int, default=4, help="threads of the thread-scaling run")
    parser.add_argument("--ballast", type=float, default=300,
                        help="MB of its own objects the second same-shape process holds")
    parser.add_argument("--skip-roundtrip", action="store_true")
    parser.add_argument("--skip-directives", action="store_true")
    settings = parser.parse_args()
    if settings.quick:
        settings.repeats, settings.min_sample, settings.engine_repeats = 3, 0.005, 3
        settings.engine_min_time, settings.memory_runs = 0.01, 1
    out = pathlib.Path(settings.out)
    out.mkdir(parents=True, exist_ok=True)
    build = pathlib.Path(settings.build)

    peers = import_peers()
    info = machine()
    versions = library_versions(peers)
    print(f"machine: {info.get('cpu', '?')}, {info['cpus']} CPUs, {info.get('memory_gb', '?')} GB, "
          f"{info['date']}, load average {info['load_average_start']}", file=sys.stderr)
    pattern = re.compile(settings.filter) if settings.filter else None

    generated = generated_inputs(out / "data")
    corpus = corpus_inputs(peers)
    inputs = [i for i in generated + corpus + [one_list_input(corpus)] if not pattern or pattern.search(i.name)]
    sizes = {i.name: len(i.yaml_bytes) for i in inputs}
    corpus_size = sum(len(i.yaml_bytes) for i in inputs if i.name.startswith("corpus/"))
    shape: dict = {}

    tables: list[Table] = []
    errors: list[str] = []
    python: dict = {"load": [], "dump": [], "to_json": [], "schema": [], "roads": []}
    summaries: dict = {}
    if not settings.skip_python:
        gc.collect()
        gc.freeze()  # the inputs stay put; collections need not walk them
        ops = (("load", load_calls, LOAD_COLUMNS), ("dump", dump_calls, DUMP_COLUMNS),
               ("to_json", to_json_calls, TO_JSON_COLUMNS), ("schema", schema_calls, SCHEMA_COLUMNS),
               ("roads", road_calls, ROAD_COLUMNS))
        for n, item in enumerate(inputs, 1):
            print(f"[{n}/{len(inputs)}] {item.name}", file=sys.stderr, flush=True)
            for op, make_calls, _ in ops:
                calls = make_calls(item, peers)
                if not calls:
                    continue
                gc.collect()
                if not settings.gc:
                    gc.disable()
                try:
                    cells = time_row(calls, settings)
                finally:
                    gc.enable()
                row = {"input": item.name, "cells": cells}
                if op in ("dump", "to_json"):
                    row["check"] = check_outputs(item, op, peers)
                python[op].append(row)
                for name, cell in cells.items():
                    if cell["status"] == "error":
                        errors.append(f"{op} {item.name}: {name}: {cell['error']}")
                if row.get("check"):
                    errors.append(f"{op} {item.name}: quillmere: {row['check']}")
        schema_rows = python["schema"]
        ops = tuple(op for op in ops if op[0] != "schema")
        for op, _, columns in ops:
            corpus_rows = [r for r in python[op] if r["input"].startswith("corpus/")]
            if corpus_rows:
                summaries[op] = corpus_sum(corpus_rows, columns)
        titles = {"load": "Load", "dump": "Dump", "to_json": "to_json",
                  "roads": "Roads of loads (quillmere: the plain road)"}
        for op, _, columns in ops:
            detail = python_table(f"{titles[op]} per corpus file, ms per call (median)", op,
                                  [r for r in python[op] if r["input"].startswith("corpus/")], columns, sizes)
            tables.append(detail)
        for op, _, columns in ops:
            table = python_table(f"{titles[op]}, ms per call (median)", op,
                                 [r for r in python[op] if not r["input"].startswith("corpus/")], columns, sizes)
            if op in summaries:
                table.add(sum_row_values("corpus (sum)", summaries[op], columns, corpus_size))
            table.notes = ["q/json: quillmere time / json time (json on the JSON twin); <peer>/q: peer time / "
                           "quillmere time; MB and MB/s: of the YAML input", "corpus (sum): per-file medians summed, (files handled/files); "
                           "ratios over the files both handled", "* quillmere's output did not read back "
                           "as its input (listed under errors)"]
            if op == "roads":
                table.notes = ["quillmere: loads on the plain road; annotated: OPT_ANNOTATED; directive: "
                               "OPT_INCLUDES on files that hold no directive; round trip: OPT_ROUND_TRIP; "
                               "<road>/q: road time / plain time", "corpus (sum): per-file medians summed, (files handled/files)"]
            tables.append(table)
        tables.append(alias_bomb_table(peers, settings))
        tables.append(schema_table("Schema validation: loads of the first document with and without a schema that "
                                   "checks every node, ms per call (median)", schema_rows, sizes,
                                   corpus_size if any(r["input"].startswith("corpus/") for r in schema_rows)
                                   else None))

    if not settings.skip_shape:
        print("loads beside json.loads in processes of the same shape", file=sys.stderr, flush=True)
        shape_table, shape = same_shape_ratios(generated, corpus, out, pattern, settings)
        tables.append(shape_table)
        tables += shape.pop("tables", [])
        errors += shape.get("errors", [])

    engine: dict = {}
    if not settings.skip_engine:
        decode_binary = build / "bench" / "bench_decode"
        if decode_binary.exists():
            extra = [str(i.path) for i in generated if not pattern or pattern.search(i.name)]
            args = [] if not pattern else [f"--benchmark_filter={settings.filter}"]
            engine = run_google_benchmark(decode_binary, out / "bench_decode.json", args + extra, settings)
            if "error" in engine:
                errors.append(engine["error"])
        else:
            errors.append(f"{decode_binary} is not built")
        writers = None
        writers_binary = build / "bench" / "bench_writers"
        if writers_binary.exists():
            writers = run_google_benchmark(writers_binary, out / "bench_writers.json", [], settings)
        engine_list, engine_errors = engine_tables(engine, writers)
        tables += engine_list
        errors += engine_errors
        engine["writers"] = writers
        compose_binary = build / "bench" / "bench_compose"
        if compose_binary.exists():
            compose = run_google_benchmark(compose_binary, out / "bench_compose.json", [], settings)
            if "error" in compose:
                errors.append(compose["error"])
            table, composer_summary, compose_errors = compose_table(compose)
            tables.append(table)
            errors += compose_errors
            engine["compose"] = {"runs": compose.get("runs", {}), "notes": compose.get("notes", []),
                                 "summary": composer_summary}
        else:
            errors.append(f"{compose_binary} is not built")

    memory: list[dict] = []
    if not settings.skip_memory:
        big = ("generated/block_config", "generated/flow_heavy", "generated/anchors_merges",
               "corpus/openai-openapi/openapi.yaml", "corpus/argo-cd/install.yaml",
               "corpus/cncf-landscape/landscape.yml")
        chosen = [i for i in generated + corpus if i.name in big and (not pattern or pattern.search(i.name))]
        print("measuring memory", file=sys.stderr, flush=True)
        memory_table, memory = measure_memory(chosen, out, settings)
        tables.append(memory_table)
        errors += [f"memory {r['input']}: {r['loader']}: {r['error']}" for r in memory if "error" in r]

    roundtrip_summary = None
    roundtrip_binary = build / "bench" / "bench_roundtrip"
    if settings.skip_roundtrip:
        pass
    elif not roundtrip_binary.exists():
        errors.append(f"{roundtrip_binary} is not built")
    elif "ruamel" not in peers:
        errors.append("round trip: ruamel.yaml is not available")
    else:
        corpus_items = [i for i in corpus if not pattern or pattern.search(i.name)]
        print("round trip: ruamel.yaml's round-trip dumps", file=sys.stderr, flush=True)
        rows = roundtrip_rows(corpus_items, peers, settings)
        reemit = run_google_benchmark(roundtrip_binary, out / "bench_roundtrip.json", [], settings)
        if "error" in reemit:
            errors.append(reemit["error"])
        table, roundtrip_summary, roundtrip_errors = roundtrip_table(rows, reemit, sizes)
        tables.append(table)
        errors += roundtrip_errors
        engine["roundtrip"] = {"reemit": reemit, "ruamel": rows, "summary": roundtrip_summary}

    directives_summary = None
    directives_binary = build / "bench" / "bench_directives"
    if settings.skip_directives:
        pass
    elif not directives_binary.exists():
        errors.append(f"{directives_binary} is not built")
    else:
        print("directive loads", file=sys.stderr, flush=True)
        args = [] if not pattern else [f"--benchmark_filter={settings.filter}"]
        loads = run_google_benchmark(directives_binary, out / "bench_directives.json", args, settings)
        if "error" in loads:
            errors.append(loads["error"])
        table, directives_summary = directives_table(loads, sizes)
        tables.append(table)
        engine["directives"] = {"runs": loads, "summary": directives_summary}

    goals = goal_rows(python, summaries, engine, memory, roundtrip_summary, shape, directives_summary)
    tables.append(goals)
    info["load_average_end"] = [round(x, 2) for x in os.getloadavg()]

    header = [f"quillmere benchmarks, {info['date']}",
              f"machine: {info.get('cpu', '?')}, {info['cpus']} CPUs, {info.get('memory_gb', '?')} GB RAM, "
              f"Linux {info['kernel']}; load average {info['load_average_start']} at the start, "
              f"{info['load_average_end']} at the end (shared machine: timings are noisy)",
              f"tree: {info.get('commit', '?')}; " + ", ".join(f"{k} {v}" for k, v in versions.items()),
              f"Python timings: median of {settings.repeats} samples per call (3 for calls over "
              f"{settings.slow:g} s), each sample at least {settings.min_sample:g} s of calls, libraries "
              f"taking turns; garbage collector {'on' if settings.gc else 'off'} while timing",
              f"Engine timings: Google Benchmark, median of {settings.engine_repeats} repetitions of at least "
              f"{settings.engine_min_time:g} s, randomly interleaved"]
    text = "\n".join(header) + "\n\n" + "\n\n".join(t.render() for t in tables)
    if errors:
        text += "\n\nErrors (cells marked error or *):\n" + "\n".join("  " + e for e in errors)
    print(text)
    (out / "results.txt").write_text(text + "\n", encoding="utf-8")
    results = {"machine": info, "versions": versions, "settings": vars(settings), "shape": shape,
               "tables": [t.as_json() for t in tables],
               "errors": errors, "python": python, "corpus_sums": summaries, "engine": engine, "memory": memory}
    (out / "results.json").write_text(json.dumps(results, indent=1, default=str) + "\n", encoding="utf-8")
    print(f"\nwritten: {out / 'results.json'}, {out / 'results.txt'}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
