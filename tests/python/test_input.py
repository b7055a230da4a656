"""Decoding of the `data` argument, with CPython's own codecs as the oracle.

Every reading function decodes its input the same way; a text decoded by us
and the same text decoded by CPython must load alike (the same value or the
same error)."""

import array

import pytest

import _quillmere as q

TYPE_MESSAGE = "loads() requires str, bytes, bytearray, or a buffer (e.g. memoryview)"


def outcome(data):
    try:
        return ("value", q.loads_all(data))
    except Exception as error:  # noqa: BLE001 - the whole outcome is compared
        return ("error", type(error), str(error))


CODECS = {
    "utf-8": "utf-8", "utf-8 bom": "utf-8-sig",
    "utf-16-le": "utf-16-le", "utf-16-be": "utf-16-be",
    "utf-32-le": "utf-32-le", "utf-32-be": "utf-32-be",
}

TEXTS = [
    "a: 1\nb: [x, \"\u00e9\u4e2d\U0001F600\"]\n",
    "- \"\U00010348\"\n- '\u1100'\n",
    "[\"\\u0041\", ~]",
    "{k: v}\n---\n[1, 2]\n",
]


class TestBytesDecoding:
    @pytest.mark.parametrize("codec", CODECS.values(), ids=CODECS.keys())
    @pytest.mark.parametrize("text", TEXTS)
    def test_encoded_text_loads_like_the_text(self, text, codec):
        encoded = text.encode(codec)
        assert outcome(encoded) == outcome(text) == outcome(encoded.decode(codec))
        assert outcome(bytearray(encoded)) == outcome(text)
        assert outcome(memoryview(encoded)) == outcome(text)

    @pytest.mark.parametrize("bom, codec", [(b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be"),
                                            (b"\xff\xfe\x00\x00", "utf-32-le"), (b"\x00\x00\xfe\xff", "utf-32-be")])
    def test_byte_order_mark_is_decoded_as_a_character(self, bom, codec):
        data = bom + "key: \u00fcber\n".encode(codec)
        assert data.decode(codec).startswith("\ufeff")
        assert outcome(data) == outcome(data.decode(codec)) == ("value", [{"key": "\u00fcber"}])

    @pytest.mark.parametrize("data, text", [
        (b"", ""),
        (b"a", "a"),
        (b"\xff\xfe\x00\x00", "\ufeff"),        # UTF-32 LE mark, never UTF-16 LE then U+0000
        (b"\xff\xfea\x00", "\ufeffa"),
        (b"a\x00b\x00", "ab"),                  # UTF-16 LE by the zero pattern
        (b"\x00a\x00b", "ab"),                  # UTF-16 BE by the zero pattern
        (b"a\x00\x00\x00", "a"),                # UTF-32 LE by the zero pattern
        (b"\x00\x00\x00a", "a"),                # UTF-32 BE by the zero pattern
        (b"\x00\x00\x11\x00", "\x00\u1100"),    # byte 0 zero, bytes 1 and 2 not both: UTF-16 BE
        (b"\xef\xbb\xbfa: 1", "\ufeffa: 1"),    # a UTF-8 mark stays in the text
    ])
    def test_detection(self, data, text):
        assert outcome(data) == outcome(text)

    @pytest.mark.parametrize("data, codec, message", [
        (b"\xfe\xff\x00", "utf-16", "invalid UTF-16: byte count is not a multiple of 2"),
        (b"a\x00b", "utf-16-le", "invalid UTF-16: byte count is not a multiple of 2"),
        (b"A\x00\x00\xd8", "utf-16-le", "invalid UTF-16: unpaired surrogate"),       # high surrogate at the end
        (b"A\x00\x00\xdc", "utf-16-le", "invalid UTF-16: unpaired surrogate"),       # low surrogate alone
        (b"\x00A\xd8\x00\x00B", "utf-16-be", "invalid UTF-16: unpaired surrogate"),  # high, then no low
        (b"\xff\xfe\x00\x00\x00\xd8\x00\x00", "utf-32", "invalid UTF-32: not a Unicode scalar value"),
        (b"\x00\x00\xfe\xff\x00\x11\x00\x00", "utf-32", "invalid UTF-32: not a Unicode scalar value"),
        (b"\xff\xfe\x00\x00a", "utf-32", "invalid UTF-32: byte count is not a multiple of 4"),
        (b"\xc3", "utf-8", "invalid UTF-8: incomplete utf-8 byte sequence from index 0"),
        (b"ab\xe2\x82", "utf-8", "invalid UTF-8: incomplete utf-8 byte sequence from index 2"),
        (b"a\xffb", "utf-8", "invalid UTF-8: invalid utf-8 sequence of 1 bytes from index 1"),
        (b"ab\xe2\x28\xa1", "utf-8", "invalid UTF-8: invalid utf-8 sequence of 1 bytes from index 2"),
        (b"abc\xe2\x82\x28", "utf-8", "invalid UTF-8: invalid utf-8 sequence of 2 bytes from index 3"),
        (b"\xed\xa0\x80", "utf-8", "invalid UTF-8: invalid utf-8 sequence of 1 bytes from index 0"),  # surrogate
    ])
    def test_decoding_errors(self, data, codec, message):
        for function in (q.loads, q.loads_all, q.yaml_version):
            with pytest.raises(ValueError) as info:
                function(data)
            assert str(info.value) == message
        with pytest.raises(UnicodeDecodeError):  # CPython agrees the bytes are invalid
            data.decode(codec)

    def test_utf8_error_positions_match_cpython(self):
        for data in [b"\xc3", b"ab\xe2\x82", b"a\xffb", b"abc\xe2\x82\x28", b"\xf0\x90\x80", b"x\xf4\x90\x80\x80"]:
            with pytest.raises(UnicodeDecodeError) as expected:
                data.decode("utf-8")
            with pytest.raises(ValueError) as info:
                q.loads(data)
            assert f"from index {expected.value.start}" in str(info.value)
            assert (f"of {expected.value.end - expected.value.start} bytes" in str(info.value)
                    or "incomplete" in str(info.value))


class TestObjects:
    def test_subclasses_of_str_and_bytes(self):
        class S(str):
            pass

        class B(bytes):
            pass

        class BA(bytearray):
            pass

        assert q.loads(S("a: 1")) == q.loads(B(b"a: 1")) == q.loads(BA(b"a: 1")) == {"a": 1}

    def test_str_with_a_byte_order_mark_is_passed_on(self):
        assert outcome("\ufeffa: 1") == ("value", [{"a": 1}])

    def test_lone_surrogate_raises_the_interpreters_error(self):
        with pytest.raises(UnicodeEncodeError):
            q.loads("a: \ud800")

    @pytest.mark.parametrize("buffer", [
        memoryview(b"xa: 1y")[1:-1],
        memoryview(b"a: 1").cast("c"),
        memoryview(bytearray(b"a-:- -1")).cast("B")[::2],  # not contiguous: copied in C order
        array.array("B", b"a: 1"),
        array.array("b", b"a: 1"),  # signed bytes are not a byte format
    ])
    def test_buffers(self, buffer):
        if memoryview(buffer).format in ("B", "c"):
            assert q.loads(buffer) == {"a": 1}
        else:
            with pytest.raises(TypeError, match=r"^loads\(\) requires"):
                q.loads(buffer)

    @pytest.mark.parametrize("data", [5, None, 1.5, ["a"], memoryview(array.array("H", [97, 0])),
                                      memoryview(b"ab").cast("B", (1, 2)).cast("B")])
    def test_other_objects_raise_type_error(self, data):
        if isinstance(data, memoryview) and data.format == "B":
            assert q.loads(data) == "ab"
            return
        for function in (q.loads, q.loads_all, q.yaml_version):
            with pytest.raises(TypeError) as info:
                function(data)
            assert str(info.value) == TYPE_MESSAGE
            assert info.value.__context__ is None  # the buffer attempt's error was discarded
