"""quillmere: YAML for Python with a native core.

``loads`` returns the first document of a YAML text, ``loads_all`` every
document; ``dumps`` and ``to_json`` write Python objects as YAML or JSON
bytes. Everything the native module ``_quillmere`` exports is available
here, along with the exception classes and the annotated scalar classes of
annotated loading (``OPT_ANNOTATED``).
"""

from __future__ import annotations

import _quillmere
from _quillmere import *  # noqa: F401,F403  (the names of _quillmere.__all__)

from quillmere.exceptions import *  # noqa: F401,F403
from quillmere import exceptions as _exceptions

__all__ = [
    *_quillmere.__all__,
    *_exceptions.__all__,
    "QuillmereAnnotatedStr",
    "QuillmereAnnotatedInt",
    "QuillmereAnnotatedFloat",
]

_INCLUDE_TAGS = frozenset(
    {
        "!include",
        "!include_dir_list",
        "!include_dir_named",
        "!include_dir_merge_list",
        "!include_dir_merge_named",
    }
)


class _Annotated:
    """Source position and provenance of one annotated scalar.

    Instances are made by the loader with eleven positional arguments:
    value, line, column, file, end_line, end_column, style, source_tag,
    source_target, offset, end_offset.
    """

    __slots__ = ()

    # The ten annotation arguments are kept as the tuple the call packs them
    # into. This constructor does nothing else, and says so to the native
    # loader (the attribute below), which then makes the same object without
    # the call: annotated loading makes one per string. The loader keeps a
    # compact record there instead of the tuple, which reads, compares,
    # hashes and prints as the tuple does.
    def __new__(cls, value, *annotation):
        self = super().__new__(cls, value)
        self._annotation = annotation
        return self

    __new__.__quillmere_annotation__ = "_annotation"

    def __reduce__(self):
        base = next(cls for cls in type(self).__mro__ if cls in (str, int, float))
        return (type(self), (base(self), *self._annotation))

    @property
    def __line__(self) -> int:
        """The 1-based line of the value's start."""
        return self._annotation[0]

    @property
    def __column__(self) -> int:
        """The 1-based column of the value's start, in code points."""
        return self._annotation[1]

    @property
    def __file__(self) -> str | None:
        """The file the value was read from, or ``None`` for a single source."""
        return self._annotation[2]

    @property
    def __end_line__(self) -> int:
        """The 1-based line of the position just past the value."""
        return self._annotation[3]

    @property
    def __end_column__(self) -> int:
        """The 1-based column of the position just past the value."""
        return self._annotation[4]

    @property
    def __style__(self) -> str:
        """The scalar's style: plain, single, double, literal or folded."""
        return self._annotation[5]

    @property
    def __source_tag__(self) -> str | None:
        """The directive or custom tag that produced the value, or ``None``."""
        return self._annotation[6]

    @property
    def __source_target__(self) -> str | None:
        """The directive's argument (include path, secret name, variable spec), or ``None``."""
        return self._annotation[7]

    @property
    def __offset__(self) -> int:
        """The 0-based byte offset of the value's first source character."""
        return self._annotation[8]

    @property
    def __end_offset__(self) -> int:
        """The 0-based byte offset just past the value's last source character."""
        return self._annotation[9]

    @property
    def is_secret(self) -> bool:
        """Whether the value was produced by a ``!secret`` directive."""
        return self._annotation[6] == "!secret"

    @property
    def is_env_var(self) -> bool:
        """Whether the value was produced by an ``!env_var`` directive."""
        return self._annotation[6] == "!env_var"

    @property
    def is_include(self) -> bool:
        """Whether the value was produced by any ``!include`` directive."""
        return self._annotation[6] in _INCLUDE_TAGS


class QuillmereAnnotatedStr(_Annotated, str):
    """A ``str`` loaded under ``OPT_ANNOTATED``, with its source position."""

    __slots__ = ("_annotation",)


class QuillmereAnnotatedInt(_Annotated, int):
    """An ``int`` loaded under ``OPT_ANNOTATED | OPT_ANNOTATE_NUMBERS``, with its source position."""


class QuillmereAnnotatedFloat(_Annotated, float):
    """A ``float`` loaded under ``OPT_ANNOTATED | OPT_ANNOTATE_NUMBERS``, with its source position."""

    __slots__ = ("_annotation",)

