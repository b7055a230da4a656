"""Property test of input decoding: any text, in any encoding CPython knows,
with or without a byte-order mark, loads as the text itself."""

import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings, strategies as st  # noqa: E402

import _quillmere as q  # noqa: E402

# Characters a one-line double-quoted scalar holds as they are.
scalar_text = st.text(
    st.characters(min_codepoint=0x20, max_codepoint=0x10FFFF,
                  blacklist_categories=("Cs", "Cc", "Zl", "Zp"),
                  blacklist_characters='"\\\ufeff\x85'),
    max_size=40,
)

CODECS = ["utf-8", "utf-8-sig", "utf-16-le", "utf-16-be", "utf-16", "utf-32-le", "utf-32-be", "utf-32"]


@settings(max_examples=300, deadline=None, database=None)
@given(items=st.lists(scalar_text, min_size=1, max_size=4), codec=st.sampled_from(CODECS))
def test_any_encoded_text_loads_as_the_text(items, codec):
    document = "[" + ", ".join(f'"{item}"' for item in items) + "]"
    assert q.loads(document.encode(codec)) == items
