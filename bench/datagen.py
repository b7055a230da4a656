"""Generated benchmark documents, written deterministically.

Each generator returns ``(yaml_text, data)``: the YAML text and the Python
data it stands for. The JSON twin of a document is ``json.dumps(data)``.

    block_config     about 3 MB of block-style configuration: nested
                     mappings, sequences of mappings, plain, quoted and
                     literal strings, ints, floats, bools, nulls
    flow_heavy       about 2 MB of nested flow mappings and sequences,
                     written across lines under a few block keys
    anchors_merges   about 1 MB of anchored defaults reused through merge
                     keys (``<<: *base`` and ``<<: [*a, *b]``) and aliases

Every scalar reads the same under YAML 1.2 core and YAML 1.1 rules (no
``yes``/``on``, no sexagesimal or octal look-alikes, floats with a dot and
no exponent), so every library loads the same data; ``check`` asserts it.

Run as a script to write the documents and their twins into a folder:

    /usr/bin/python3 bench/datagen.py build/bench/data
"""

from __future__ import annotations

import json
import pathlib
import random
import re
import sys

WORDS = (
    "alpha beta gamma delta epsilon zeta theta kappa lambda sigma omega "
    "north south east west river stone cloud ember frost harbor meadow "
    "orbit pixel quartz signal tensor vector widget cache queue worker "
    "gateway ingress backend frontend storage metrics tracing logging"
).split()
UNICODE_WORDS = ["café", "naïve", "Zürich", "東京", "Ελλάδα", "добро", "señal"]

# Plain scalars that some rule set reads as other than a string.
_PLAIN_SAFE = re.compile(r"[A-Za-z][A-Za-z0-9_./-]*( [A-Za-z0-9_./-]+)*\Z")
_PLAIN_SAFE_BLOCK = re.compile(r"[A-Za-z][A-Za-z0-9_./:-]*( [A-Za-z0-9_./:-]+)*\Z")
_RESERVED = {"y", "n", "yes", "no", "on", "off", "true", "false", "null", "nan", "inf"}


def plain_ok(text: str, block: bool = False) -> bool:
    """Whether ``text`` may be written plain; in block context ``:`` may
    appear where no space follows it."""
    if block:
        if not _PLAIN_SAFE_BLOCK.match(text) or text.endswith(":") or ": " in text:
            return False
    elif not _PLAIN_SAFE.match(text):
        return False
    return text.lower() not in _RESERVED and not text.startswith(".")


def scalar(value, quote: str = "auto", block: bool = True) -> str:
    """One scalar as YAML text, in a form both rule sets read as ``value``."""
    if value is None:
        return "null"
    if value is True:
        return "true"
    if value is False:
        return "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        text = repr(value)
        assert "." in text and "e" not in text, text
        return text
    if quote == "single" and "'" not in value and "\n" not in value:
        return "'" + value + "'"
    if quote != "double" and plain_ok(value, block):
        return value
    return json.dumps(value, ensure_ascii=False)


def _word(rng: random.Random) -> str:
    return rng.choice(WORDS)


def _sentence(rng: random.Random, low: int = 3, high: int = 9) -> str:
    return " ".join(_word(rng) for _ in range(rng.randint(low, high)))


def _odd_string(rng: random.Random) -> str:
    """Strings that need quotes: punctuation, escapes, non-ASCII, look-alikes."""
    choice = rng.randrange(7)
    if choice == 0:
        return f"{_word(rng)}: {_word(rng)}, {rng.randint(0, 99)}%"
    if choice == 1:
        return f"tab\there \"quoted\" and back\\slash {rng.randint(0, 999)}"
    if choice == 2:
        return f"{rng.choice(UNICODE_WORDS)} {_word(rng)} {rng.choice(UNICODE_WORDS)}"
    if choice == 3:
        return str(rng.randint(0, 99999))  # a number as a string
    if choice == 4:
        return rng.choice(["yes", "no", "on", "off", "true", "null", "~", "12:30", "0o17"])
    if choice == 5:
        return f"#{rng.randint(0, 0xFFFFFF):06x} [{_word(rng)}] {{{_word(rng)}}}"
    return f"  leading and trailing spaces {rng.randint(0, 9)}  "


def _float(rng: random.Random) -> float:
    return round(rng.uniform(0.001, 9999.0), rng.randint(1, 4))


def _leaf(rng: random.Random):
    kind = rng.randrange(12)
    if kind < 4:
        return _sentence(rng, 1, 6)
    if kind == 4:
        return _odd_string(rng)
    if kind in (5, 6):
        return rng.randint(-100000, 1000000)
    if kind in (7, 8):
        return _float(rng)
    if kind == 9:
        return rng.random() < 0.5
    if kind == 10:
        return None
    return f"{_word(rng)}-{rng.randint(0, 9999)}.example.com"


# ---------------------------------------------------------------- block_config


def _service(rng: random.Random, index: int) -> dict:
    name = f"{_word(rng)}-{index:05d}"
    service = {
        "name": name,
        "image": f"registry.example.com/{_word(rng)}/{name}:{rng.randint(1, 9)}.{rng.randint(0, 30)}.{rng.randint(0, 99)}",
        "replicas": rng.randint(1, 12),
        "enabled": rng.random() < 0.8,
        "cpu": round(rng.uniform(0.05, 8.0), 2),
        "memory_mb": rng.choice([128, 256, 512, 1024, 2048, 4096]),
        "timeout": None if rng.random() < 0.3 else round(rng.uniform(0.5, 120.0), 1),
        "description": _odd_string(rng) if rng.random() < 0.4 else _sentence(rng),
        "labels": {f"{_word(rng)}_{k}": _word(rng) for k in range(rng.randint(1, 5))},
        "ports": [
            {"name": _word(rng), "port": rng.randint(1024, 65535), "protocol": rng.choice(["TCP", "UDP"]),
             "public": rng.random() < 0.5}
            for _ in range(rng.randint(1, 4))
        ],
        "env": [{"name": f"{_word(rng).upper()}_{k}", "value": _leaf(rng)} for k in range(rng.randint(0, 6))],
        "limits": {
            "max_connections": rng.randint(10, 100000),
            "ratio": round(rng.random(), 3),
            "burst": None,
            "window": {"seconds": rng.randint(1, 3600), "strict": rng.random() < 0.5},
        },
        "tags": [_word(rng) for _ in range(rng.randint(0, 5))],
    }
    if rng.random() < 0.15:
        service["script"] = "".join(f"{_sentence(rng, 2, 8)}\n" for _ in range(rng.randint(2, 6)))
    return service


def _block(out: list[str], value, indent: int, rng: random.Random) -> None:
    """Appends ``value`` (a dict or list) in block style at ``indent``."""
    pad = " " * indent
    if isinstance(value, dict):
        for key, item in value.items():
            if isinstance(item, dict) and item:
                out.append(f"{pad}{key}:\n")
                _block(out, item, indent + 2, rng)
            elif isinstance(item, list) and item:
                out.append(f"{pad}{key}:\n")
                _block(out, item, indent + 2, rng)
            elif isinstance(item, (dict, list)):
                out.append(f"{pad}{key}: {'{}' if isinstance(item, dict) else '[]'}\n")
            elif isinstance(item, str) and item.endswith("\n") and "\n" in item[:-1]:
                out.append(f"{pad}{key}: |\n")
                for line in item[:-1].split("\n"):
                    out.append(f"{pad}  {line}\n")
            else:
                quote = "single" if isinstance(item, str) and rng.random() < 0.05 else "auto"
                out.append(f"{pad}{key}: {scalar(item, quote)}\n")
    else:
        for item in value:
            if isinstance(item, dict) and item:
                inner: list[str] = []
                _block(inner, item, indent + 2, rng)
                first = inner[0]
                inner[0] = pad + "- " + first[indent + 2:]
                out.extend(inner)
            elif isinstance(item, list) and item:
                out.append(f"{pad}-\n")
                _block(out, item, indent + 2, rng)
            else:
                out.append(f"{pad}- {scalar(item)}\n")


def block_config(target: int = 3_000_000, seed: int = 20240601) -> tuple[str, dict]:
    rng = random.Random(seed)
    data: dict = {
        "version": 3,
        "name": "generated block configuration",
        "debug": False,
        "owner": None,
        "defaults": {"region": "eu-west-1", "retries": 3, "backoff": 1.5, "verbose": False},
        "services": {},
    }
    text_size = 0
    index = 0
    services = data["services"]
    while text_size < target:
        service = _service(rng, index)
        services[service["name"]] = service
        chunk: list[str] = []
        _block(chunk, {service["name"]: service}, 2, rng)
        text_size += sum(len(s.encode()) for s in chunk)
        index += 1
    out: list[str] = ["# Generated configuration; do not edit.\n"]
    _block(out, data, 0, rng)
    return "".join(out), data


# ------------------------------------------------------------------ flow_heavy


def _flow_value(rng: random.Random, depth: int):
    if depth <= 0 or rng.random() < 0.35:
        return _leaf(rng)
    if rng.random() < 0.5:
        return [_flow_value(rng, depth - 1) for _ in range(rng.randint(0, 5))]
    return {f"{_word(rng)}{k}": _flow_value(rng, depth - 1) for k in range(rng.randint(0, 5))}


def _flow(value) -> str:
    if isinstance(value, dict):
        return "{" + ", ".join(f"{key}: {_flow(item)}" for key, item in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ", ".join(_flow(item) for item in value) + "]"
    return scalar(value, block=False)


def _wrap_flow(text: str, indent: int, width: int = 100) -> list[str]:
    """Breaks one flow collection after commas, continuation lines indented."""
    lines: list[str] = []
    start = 0
    pad = " " * indent
    while len(text) - start > width:
        cut = text.rfind(", ", start, start + width)
        if cut <= start:
            cut = text.find(", ", start + width)
            if cut < 0:
                break
        # Never break inside a double-quoted scalar: count the quotes before the cut.
        while cut > start and _inside_quotes(text, cut):
            cut = text.rfind(", ", start, cut)
        if cut <= start:
            break
        lines.append(text[start:cut + 1])
        start = cut + 2
    lines.append(text[start:])
    return [lines[0]] + [pad + line for line in lines[1:]]


def _inside_quotes(text: str, position: int) -> bool:
    inside = False
    i = 0
    while i < position:
        c = text[i]
        if c == "\\" and inside:
            i += 2
            continue
        if c == '"':
            inside = not inside
        i += 1
    return inside


def flow_heavy(target: int = 2_000_000, seed: int = 20240602) -> tuple[str, dict]:
    rng = random.Random(seed)
    data: dict = {}
    out: list[str] = ["# Generated flow-style document.\n"]
    size = 0
    index = 0
    while size < target:
        key = f"section_{index:05d}"
        if index % 3 == 0:
            value = [{"id": rng.randint(0, 10**6), "name": _word(rng), "tags": [_word(rng) for _ in range(3)],
                      "pos": {"x": _float(rng), "y": _float(rng)}, "active": rng.random() < 0.5, "parent": None}
                     for _ in range(rng.randint(4, 20))]
        elif index % 3 == 1:
            value = {f"{_word(rng)}{k}": _flow_value(rng, 4) for k in range(rng.randint(3, 10))}
        else:
            value = [[_leaf(rng) for _ in range(rng.randint(1, 8))] for _ in range(rng.randint(3, 12))]
        data[key] = value
        lines = _wrap_flow(f"{key}: {_flow(value)}", 2)
        chunk = "\n".join(lines) + "\n"
        out.append(chunk)
        size += len(chunk.encode())
        index += 1
    return "".join(out), data


# -------------------------------------------------------------- anchors_merges


def anchors_merges(target: int = 1_000_000, seed: int = 20240603) -> tuple[str, dict]:
    rng = random.Random(seed)
    out: list[str] = ["# Generated anchors and merge keys.\n"]
    data: dict = {}
    bases: list[tuple[str, dict]] = []
    out.append("bases:\n")
    data["bases"] = {}
    for b in range(40):
        name = f"base{b:02d}"
        base = {"adapter": _word(rng), "host": f"{_word(rng)}.internal", "port": rng.randint(1000, 9999),
                "pool": rng.randint(1, 64), "timeout": _float(rng), "ssl": rng.random() < 0.5, "comment": None}
        bases.append((name, base))
        data["bases"][name] = base
        out.append(f"  {name}: &{name}\n")
        for key, item in base.items():
            out.append(f"    {key}: {scalar(item)}\n")
    tags = [_word(rng) for _ in range(6)]
    out.append(f"common_tags: &common_tags [{', '.join(scalar(t, block=False) for t in tags)}]\n")
    data["common_tags"] = tags
    out.append("environments:\n")
    environments: dict = {}
    data["environments"] = environments
    size = sum(len(s.encode()) for s in out)
    index = 0
    while size < target:
        name = f"env_{index:05d}"
        chunk = [f"  {name}:\n"]
        merged: dict = {}
        picks = rng.sample(range(len(bases)), rng.choice([1, 1, 2, 3]))
        if len(picks) == 1:
            chunk.append(f"    <<: *{bases[picks[0]][0]}\n")
        else:
            chunk.append("    <<: [" + ", ".join(f"*{bases[p][0]}" for p in picks) + "]\n")
        for p in reversed(picks):  # the first mapping listed wins
            merged.update(bases[p][1])
        own = {"database": f"db_{index:05d}", "pool": rng.randint(1, 128)}
        if rng.random() < 0.5:
            own["timeout"] = _float(rng)
        if rng.random() < 0.3:
            own["replica_of"] = f"env_{rng.randint(0, max(index - 1, 0)):05d}"
        for key, item in own.items():
            chunk.append(f"    {key}: {scalar(item)}\n")
        merged.update(own)
        chunk.append("    tags: *common_tags\n")
        merged["tags"] = tags
        environments[name] = merged
        text = "".join(chunk)
        out.append(text)
        size += len(text.encode())
        index += 1
    return "".join(out), data


GENERATORS = {
    "block_config": block_config,
    "flow_heavy": flow_heavy,
    "anchors_merges": anchors_merges,
}


def check(text: str, data) -> list[str]:
    """The loaders that read ``text`` as other than ``data``."""
    wrong = []
    try:
        import yaml

        if yaml.load(text, Loader=yaml.CSafeLoader) != data:
            wrong.append("yaml.CSafeLoader")
    except ImportError:
        pass
    try:
        import quillmere

        if quillmere.loads(text.encode()) != data:
            wrong.append("quillmere.loads")
    except ImportError:
        pass
    return wrong


def write_all(folder: pathlib.Path) -> dict[str, tuple[pathlib.Path, pathlib.Path]]:
    """Writes every document and its JSON twin; returns their paths."""
    folder.mkdir(parents=True, exist_ok=True)
    paths = {}
    for name, generate in GENERATORS.items():
        text, data = generate()
        yaml_path = folder / f"{name}.yaml"
        json_path = folder / f"{name}.json"
        encoded = text.encode()
        if not yaml_path.exists() or yaml_path.read_bytes() != encoded:
            yaml_path.write_bytes(encoded)
        twin = json.dumps(data).encode()
        if not json_path.exists() or json_path.read_bytes() != twin:
            json_path.write_bytes(twin)
        paths[name] = (yaml_path, json_path)
    return paths


if __name__ == "__main__":
    target = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bench/data")
    for name, (yaml_path, json_path) in write_all(target).items():
        text = yaml_path.read_text(encoding="utf-8")
        data = json.loads(json_path.read_text(encoding="utf-8"))
        wrong = check(text, data)
        status = "ok" if not wrong else "read differently by " + ", ".join(wrong)
        print(f"{yaml_path}: {yaml_path.stat().st_size} bytes, twin {json_path.stat().st_size} bytes: {status}")
