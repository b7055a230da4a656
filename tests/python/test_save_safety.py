"""What a save guarantees under attack and failure: writes stay beneath
the include root while its directories are swapped for links, temporary
files are private from their creation, a replaced file keeps its owner,
group and bits, and a save that cannot finish leaves every file whole and
no temporary file behind.

Saves that must run with fewer rights (permission rows) run in a forked
child that drops to the unprivileged user when the tests run as root, as
they do in CI; as any other user the child keeps its rights, which are
already those of an ordinary user."""

import ctypes
import json
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import textwrap
import time
import traceback
from pathlib import Path

import pytest

import quillmere
from quillmere import OPT_INCLUDES, OPT_ROUND_TRIP, dump_includes, loads

UNPRIVILEGED = 65534  # nobody
AS_ROOT = os.geteuid() == 0


def files_in(directory):
    """Every name below `directory`: a temporary file left behind shows up."""
    return sorted(str(p.relative_to(directory)) for p in Path(directory).rglob("*"))


def snapshot(directory):
    """Names, bytes and permission bits of every file below `directory`."""
    out = {}
    for name in files_in(directory):
        path = Path(directory) / name
        info = path.lstat()
        out[name] = (os.readlink(path) if path.is_symlink() else path.read_bytes() if path.is_file() else None,
                     stat.S_IMODE(info.st_mode))
    return out


def in_child(work, unprivileged=False, limit_file_size=None):
    """Runs `work()` in a forked child, as the unprivileged user when asked
    and the tests run as root, under a file-size limit when given. Returns
    ("ok", result) or (exception class name, message)."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:  # the child: never returns into pytest
        os.close(read_end)
        try:
            if unprivileged and AS_ROOT:
                os.setgroups([])
                os.setgid(UNPRIVILEGED)
                os.setuid(UNPRIVILEGED)
            if limit_file_size is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_size, limit_file_size))
            outcome = ["ok", work()]
        except BaseException as error:  # noqa: BLE001 - reported to the parent
            outcome = [type(error).__name__, str(error) or traceback.format_exc()]
        os.write(write_end, json.dumps(outcome).encode())
        os._exit(0)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        data = pipe.read()
    os.waitpid(pid, 0)
    return tuple(json.loads(data))


@pytest.fixture
def shared_dir():
    """A directory outside pytest's private temporary folder, which the
    unprivileged user can reach; it owns everything in it."""
    directory = Path(tempfile.mkdtemp(prefix="quillmere-save-"))
    directory.chmod(0o755)
    yield directory
    for path in [directory, *directory.rglob("*")]:
        if not path.is_symlink():
            path.chmod(0o700 if path.is_dir() else 0o600)
    shutil.rmtree(directory)


def give_away(directory):
    """Everything below `directory` (itself included) to the unprivileged
    user, when the tests run as root."""
    if not AS_ROOT:
        return
    for path in [directory, *directory.rglob("*")]:
        os.lchown(path, UNPRIVILEGED, UNPRIVILEGED)


def load(root, origin=True):
    main = root / "main.yaml"
    doc = loads(main.read_bytes(), option=OPT_ROUND_TRIP | OPT_INCLUDES, include_dir=str(root),
                root_path=str(main))
    if origin:
        doc.set_origin(str(main))
    return doc


# ------------------------------------------------------------- confinement


RENAME_EXCHANGE = 2
AT_FDCWD = -100


def edited_include(tmp_path):
    """conf/main.yaml includes conf/sub/x.yaml, edited in the document;
    outside/ beside conf holds a file of the same name. (conf, outside, doc)."""
    conf = tmp_path / "conf"
    (conf / "sub").mkdir(parents=True)
    outside = tmp_path / "outside"
    outside.mkdir()
    (outside / "x.yaml").write_bytes(b"k: outside\n")
    (conf / "sub" / "x.yaml").write_bytes(b"k: 1\n")
    (conf / "main.yaml").write_bytes(b"sub: !include sub/x.yaml\n")
    doc = load(conf)
    doc["sub"]["k"] = 2
    return conf, outside, doc


def test_writes_never_leave_the_root_while_a_directory_is_swapped_for_a_link(tmp_path):
    """Another process exchanges a directory of the include root with a
    link to an outside directory, over and over, while the document saves
    into that directory. A save may fail (the file is not where it was),
    but no file outside the root is ever replaced or created."""
    if not hasattr(ctypes.CDLL(None), "renameat2"):
        pytest.skip("the C library has no renameat2")
    conf, outside, doc = edited_include(tmp_path)
    (conf / "evil").symlink_to(outside)
    (conf / "relative").symlink_to("../outside")
    before = snapshot(outside)

    swapper = textwrap.dedent(f"""
        import ctypes, time
        libc = ctypes.CDLL(None, use_errno=True)
        sub = {str(conf / 'sub')!r}.encode()
        links = [{str(conf / 'evil')!r}.encode(), {str(conf / 'relative')!r}.encode()]
        end = time.monotonic() + 3
        while time.monotonic() < end:
            for link in links:
                libc.renameat2({AT_FDCWD}, sub, {AT_FDCWD}, link, {RENAME_EXCHANGE})
                libc.renameat2({AT_FDCWD}, sub, {AT_FDCWD}, link, {RENAME_EXCHANGE})
        """)
    process = subprocess.Popen([sys.executable, "-c", swapper])
    written = refused = 0
    try:
        while process.poll() is None:
            for write in (doc.save, lambda: dump_includes(doc)):
                try:
                    write()
                    written += 1
                except (quillmere.QuillmereIncludeConfinementError, OSError, ValueError):
                    refused += 1
    finally:
        process.wait(timeout=30)
    assert process.returncode == 0
    assert snapshot(outside) == before
    # Both outcomes happened: the race was run, not avoided.
    assert written > 0 and refused > 0
    assert (conf / "sub" / "x.yaml").read_bytes() == b"k: 2\n" or (conf / "evil" / "x.yaml").exists()


@pytest.mark.parametrize("replace", ["directory", "file"])
def test_a_target_replaced_by_a_link_after_loading_is_never_followed_out(tmp_path, replace):
    """The deterministic half of the race: between the load and the save
    the included file's directory (or the file itself) became a link to
    outside."""
    conf, outside, doc = edited_include(tmp_path)
    if replace == "directory":
        shutil.rmtree(conf / "sub")
        (conf / "sub").symlink_to(outside)
    else:
        (conf / "sub" / "x.yaml").unlink()
        (conf / "sub" / "x.yaml").symlink_to(outside / "x.yaml")
    before = snapshot(outside)
    for write in (doc.save, lambda: dump_includes(doc)):
        with pytest.raises(quillmere.QuillmereIncludeConfinementError,
                           match="resolves outside the configured include directory"):
            write()
    assert snapshot(outside) == before


def test_a_link_inside_the_root_is_followed_and_kept(tmp_path):
    conf = tmp_path / "conf"
    (conf / "real").mkdir(parents=True)
    (conf / "real" / "x.yaml").write_bytes(b"k: 1\n")
    (conf / "link.yaml").symlink_to("real/x.yaml")
    (conf / "main.yaml").write_bytes(b"sub: !include link.yaml\n")
    doc = load(conf)
    doc["sub"]["k"] = 2
    # The include was recorded under its canonical path; replacing that
    # file by a link to another file of the root is followed.
    (conf / "real" / "x.yaml").rename(conf / "real" / "y.yaml")
    (conf / "real" / "x.yaml").symlink_to("y.yaml")
    assert doc.save() == [str(conf / "real" / "x.yaml")]
    assert (conf / "real" / "x.yaml").is_symlink()
    assert (conf / "real" / "y.yaml").read_bytes() == b"k: 2\n"
    assert files_in(conf) == ["link.yaml", "main.yaml", "real", "real/x.yaml", "real/y.yaml"]


# ------------------------------------------------------------- temporary files, owner, bits


def watch_temporaries(directory, full_size, seconds):
    """Looks at every temporary file that appears in `directory` for
    `seconds`: whether one could be opened, and whether one had group or
    other bits while it was not yet whole."""
    seen = opened = exposed = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for name in os.listdir(directory):
            if not name.endswith(".tmp"):
                continue
            path = os.path.join(directory, name)
            try:
                info = os.stat(path)
            except FileNotFoundError:
                continue
            seen += 1
            if info.st_mode & 0o077 and info.st_size < full_size:
                exposed += 1
            try:
                os.close(os.open(path, os.O_RDONLY))
                opened += 1
            except (FileNotFoundError, PermissionError):
                pass
    return {"seen": seen, "opened": opened, "exposed": exposed}


@pytest.mark.parametrize("mode", [0o600, 0o644])
def test_temporary_files_are_private_until_they_are_whole(shared_dir, mode):
    """No temporary file has group or other bits before its content is
    written, whatever the bits of the file it replaces; a process of
    another user watching the directory never opens one of a private file."""
    target = shared_dir / "conf.yaml"
    target.write_bytes(b"old: 1\n")
    target.chmod(mode)
    doc = loads(b"- yes\n" * 200_000, option=OPT_ROUND_TRIP | quillmere.OPT_UPGRADE_1_1)
    doc.set_origin(str(target))
    full_size = len(doc.to_yaml())

    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read_end)
        try:
            if AS_ROOT:
                os.setgroups([])
                os.setgid(UNPRIVILEGED)
                os.setuid(UNPRIVILEGED)
            result = watch_temporaries(str(shared_dir), full_size, 1.5)
        except BaseException as error:  # noqa: BLE001
            result = {"error": repr(error)}
        os.write(write_end, json.dumps(result).encode())
        os._exit(0)
    os.close(write_end)
    end = time.monotonic() + 1.5
    saves = 0
    while time.monotonic() < end:
        doc.save()
        saves += 1
    with os.fdopen(read_end, "rb") as pipe:
        result = json.loads(pipe.read())
    os.waitpid(pid, 0)
    assert "error" not in result, result
    assert result["seen"] > 0, f"no temporary file seen in {saves} saves"
    assert result["exposed"] == 0, result
    if AS_ROOT and mode == 0o600:
        assert result["opened"] == 0, result
    assert stat.S_IMODE(target.stat().st_mode) == mode
    assert files_in(shared_dir) == ["conf.yaml"]


@pytest.mark.skipif(not AS_ROOT, reason="only root can make a file another user's to see its owner kept")
def test_a_replaced_file_keeps_its_owner_group_and_bits(shared_dir):
    conf = shared_dir / "conf"
    conf.mkdir()
    (conf / "db.yaml").write_bytes(b"port: 1\n")
    (conf / "main.yaml").write_bytes(b"db: !include db.yaml\nlevel: 1\n")
    for name, (owner, group, mode) in {"db.yaml": (1234, 5678, 0o640), "main.yaml": (4321, 8765, 0o2604)}.items():
        os.chown(conf / name, owner, group)
        (conf / name).chmod(mode)
    doc = load(conf)
    doc["db"]["port"] = 2
    doc["level"] = 2
    assert doc.save() == [str(conf / "db.yaml"), str(conf / "main.yaml")]
    for name, expected in {"db.yaml": (1234, 5678, 0o640), "main.yaml": (4321, 8765, 0o2604)}.items():
        info = (conf / name).stat()
        assert (info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)) == expected, name
    # A new file gets the process's default bits, with no temporary file left.
    doc.save(str(conf / "new.yaml"))
    umask = os.umask(0o022)
    os.umask(umask)
    assert stat.S_IMODE((conf / "new.yaml").stat().st_mode) == 0o666 & ~umask
    assert files_in(conf) == ["db.yaml", "main.yaml", "new.yaml"]


def test_a_file_of_another_user_is_replaced_with_its_bits_when_the_directory_allows(shared_dir):
    """A process that may not give the file its owner replaces it all the
    same, as its own, keeping the permission bits."""
    if not AS_ROOT:
        pytest.skip("needs a file of another user: only root can make one")
    target = shared_dir / "conf.yaml"
    target.write_bytes(b"old: 1\n")
    target.chmod(0o666)
    shared_dir.chmod(0o777)
    doc = loads(b"a: yes\n", option=OPT_ROUND_TRIP | quillmere.OPT_UPGRADE_1_1)
    doc.set_origin(str(target))
    assert in_child(doc.save, unprivileged=True) == ("ok", [str(target)])
    info = target.stat()
    assert (info.st_uid, stat.S_IMODE(info.st_mode)) == (UNPRIVILEGED, 0o666)
    assert target.read_bytes() == b"%YAML 1.2\n---\na: true\n"


# ------------------------------------------------------------- the save matrix


def edited(conf, origin=True):
    """The matrix's document: its main file and its included file both
    changed, so that a failed save must leave both whole."""
    doc = load(conf, origin=origin)
    doc["db"]["port"] = 2
    doc["level"] = "x" * 4096
    return doc


def read_only_directory(conf):
    conf.chmod(0o555)
    return edited(conf)


def read_only_file(conf):
    (conf / "main.yaml").chmod(0o444)
    return edited(conf)


def full_disk(conf):
    return edited(conf)


def linked_target(conf):
    # The origin is a link to a directory: nothing can replace it.
    (conf / "real").mkdir()
    (conf / "link.yaml").symlink_to("real")
    doc = edited(conf)
    doc.set_origin(str(conf / "link.yaml"))
    return doc


def no_origin(conf):
    return edited(conf, origin=False)


def origin_in_a_missing_directory(conf):
    doc = edited(conf)
    doc.set_origin(str(conf / "missing" / "main.yaml"))
    return doc


MATRIX = [
    # (name, set-up, run unprivileged, file-size limit, exception, message start)
    ("read-only directory", read_only_directory, True, None, "OSError", "cannot write {main}: Permission denied"),
    ("read-only file", read_only_file, True, None, "OSError", "cannot write {main}: Permission denied"),
    ("full disk", full_disk, False, 1024, "OSError", "cannot write {main}: File too large"),
    ("symlinked target", linked_target, False, None, "OSError", "cannot write {link}: Is a directory"),
    ("missing origin", no_origin, False, None, "ValueError", "save() needs a path"),
    ("origin in a missing directory", origin_in_a_missing_directory, False, None, "OSError",
     "cannot write {missing}: No such file or directory"),
]


@pytest.mark.parametrize("name, setup, unprivileged, limit, error, message", MATRIX, ids=[row[0] for row in MATRIX])
def test_a_failed_save_leaves_every_file_whole_and_no_temporary_file(shared_dir, name, setup, unprivileged, limit,
                                                                   error, message):
    conf = shared_dir / "conf"
    (conf / "inc").mkdir(parents=True)
    (conf / "inc" / "db.yaml").write_bytes(b"port: 1  # kept\n")
    (conf / "main.yaml").write_bytes(b"db: !include inc/db.yaml\nlevel: 1\n")
    give_away(shared_dir)
    doc = setup(conf)
    before = snapshot(conf)
    outcome = in_child(doc.save, unprivileged=unprivileged, limit_file_size=limit)
    assert outcome[0] == error, outcome
    assert outcome[1].startswith(message.format(main=conf / "main.yaml", link=conf / "link.yaml",
                                                missing=conf / "missing" / "main.yaml")), outcome
    assert snapshot(conf) == before
