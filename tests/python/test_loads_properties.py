"""Property test of mapping keys on the plain road: whatever keys earlier
loads left behind, every key loads as its own text, one str per text in a
document, and interned where the interpreter keeps interned strs mortal."""

import json
import sys
import sysconfig

import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

import _quillmere as q  # noqa: E402

INTERNS_KEYS = sys.version_info[:2] != (3, 12) and not sysconfig.get_config_var("Py_GIL_DISABLED")

# Short and long, ASCII and not: texts on both sides of the length up to
# which keys are kept between calls, and texts that differ only late.
key_text = st.one_of(
    st.text(st.characters(min_codepoint=0x20, max_codepoint=0x7E), max_size=70),
    # JSON leaves DEL, the C1 controls, U+FFFE and U+FFFF unescaped, and no
    # YAML text may hold them raw.
    st.text(st.characters(min_codepoint=0x20, max_codepoint=0x10FFFF, blacklist_categories=("Cs",))
            .filter(lambda c: not (0x7F <= ord(c) <= 0x9F and c != "\x85") and c not in "\ufffe\uffff"),
            max_size=70),
    st.integers(min_value=0, max_value=5000).map(lambda n: "k" * 60 + str(n)),
)


@settings(max_examples=300, deadline=None, database=None)
@given(rounds=st.lists(st.lists(key_text, min_size=1, max_size=40, unique=True), min_size=1, max_size=4))
def test_keys_load_as_their_texts_whatever_came_before(rounds):
    for keys in rounds:
        expected = {key: index for index, key in enumerate(keys)}
        text = json.dumps([expected, expected], ensure_ascii=False)
        first, second = q.loads(text)
        assert first == expected and list(first) == keys
        for a, b in zip(first, second):
            assert a is b  # one str per text in a document
            if INTERNS_KEYS:
                assert sys.intern(a) is a
        # A stream large enough that its documents share their keys.
        stream = "--- " + json.dumps(list(range(6000))) + "\n--- " + text + "\n--- " + json.dumps(expected, ensure_ascii=False)
        _, [first, second], again = q.loads_all(stream)
        assert first == expected and second == expected
        for a, b in zip(first, second):
            assert a is b
        assert list(again) == keys
        if INTERNS_KEYS:
            assert all(a is b for a, b in zip(first, again))
