# Type stubs of the native module _quillmere.
from collections.abc import Callable, Mapping
from os import PathLike
from typing import Any, Final, final

__all__: list[str]

_Input = str | bytes | bytearray | memoryview
_Path = str | PathLike[str]

def loads(
    data: _Input,
    /,
    *,
    option: int | None = None,
    include_dir: _Path | None = None,
    schema: Any = None,
    schema_resolver: Callable[[str], Any] | None = None,
    tag_handler: Callable[[str, Any], Any] | None = None,
    tags: Mapping[str, Callable[[Any], Any]] | None = None,
    root_path: _Path | None = None,
    on_missing_secret: Callable[..., Any] | None = None,
    on_missing_env_var: Callable[..., Any] | None = None,
) -> Any: ...
def loads_all(
    data: _Input,
    /,
    *,
    option: int | None = None,
    tag_handler: Callable[[str, Any], Any] | None = None,
    tags: Mapping[str, Callable[[Any], Any]] | None = None,
) -> list[Any]: ...
def dumps(
    obj: Any,
    /,
    *,
    default: Callable[[Any], Any] | None = None,
    option: int | None = None,
    null_style: str | None = None,
    tags: dict[type, Callable[[Any], QuillmereTag | tuple[str, Any]]] | None = None,
    width: int | None = None,
) -> bytes: ...
def to_json(obj: Any, /, *, default: Callable[[Any], Any] | None = None, option: int | None = None) -> bytes: ...
def schema_ref(data: _Input, /) -> str | None: ...
def yaml_version(data: _Input, /) -> str | None: ...
def dump_includes(doc: QuillmereDocument, /, *, include_dir: _Path | None = None) -> None: ...
def dump_includes_map(doc: QuillmereDocument, /) -> dict[str, bytes]: ...

OPT_YAML_1_1: Final[int]
OPT_PYYAML_COMPAT: Final[int]
OPT_UPGRADE_1_1: Final[int]
OPT_YAML_1_1_WARN: Final[int]
OPT_ROUND_TRIP: Final[int]
OPT_ANNOTATED: Final[int]
OPT_ANNOTATE_NUMBERS: Final[int]
OPT_INCLUDES: Final[int]
OPT_INCLUDE_DIR_RECURSIVE: Final[int]
OPT_SECRETS: Final[int]
OPT_ENV_VAR: Final[int]
OPT_SECRET_NOT_FOUND_WARN: Final[int]
OPT_ENV_VAR_NOT_FOUND_WARN: Final[int]
OPT_PASSTHROUGH_TAG: Final[int]
OPT_DUPLICATE_KEYS_ERROR: Final[int]
OPT_DUPLICATE_KEYS_WARN: Final[int]
OPT_REJECT_COMPLEX_KEYS: Final[int]
OPT_INDENT_2: Final[int]
OPT_INDENT_4: Final[int]
OPT_INDENTLESS_SEQUENCES: Final[int]
OPT_FLOW_STYLE: Final[int]
OPT_SORT_KEYS: Final[int]
OPT_EXPLICIT_START: Final[int]
OPT_EXPLICIT_END: Final[int]
OPT_SINGLE_QUOTES: Final[int]
OPT_NULL_AS_KEYWORD: Final[int]
OPT_NULL_AS_TILDE: Final[int]
OPT_SERIALIZE_NUMPY: Final[int]
OPT_PASSTHROUGH_DATETIME: Final[int]
OPT_PASSTHROUGH_DATACLASS: Final[int]
OPT_OMIT_MICROSECONDS: Final[int]
OPT_NAIVE_UTC: Final[int]
OPT_UTC_Z: Final[int]

@final
class QuillmereDocument:
    """A structure-preserving YAML document returned by `loads(..., OPT_ROUND_TRIP)`.

    Holds the rich AST (comments, styles, anchors, include boundaries) and, when
    loaded with includes, the `file_id` → source-path map used for write-back."""

    def get(self, key: str | int, default: Any) -> Any: ...
    def keys(self) -> list[Any]: ...
    def to_yaml(self) -> bytes:
        """Serialize the document back to YAML bytes, preserving structure.

        If the document has not been modified since loading, the original source
        is returned **byte-for-byte**. Once any value is changed, the document is
        re-emitted from the AST (preserving comments, styles, and include
        directives). When loaded with includes, directives are restored."""
    def set_origin(self, path: str) -> None:
        """Record the path this document was loaded from (used by `save`)."""
    def save(self, path: str | None = None) -> list[str]:
        """Write the document back to disk, saving **only the changed files**.

        * Included files whose content was modified are rewritten in place;
          untouched includes are left exactly as they were.
        * The root file is rewritten only if root-level content changed, or when
          an explicit `path` is given (a save-as).

        With no `path`, the document must have been loaded from disk (so it knows
        its origin). Returns the list of paths that were written."""
    def range(self) -> tuple[int, int, int, int] | None:
        """The 1-based source range `(start_line, start_col, end_line, end_col)` of
        the document's root node."""
    def to_dict(self) -> Any:
        """Return the document as plain Python objects (a resolved snapshot)."""
    def walk(self) -> list[tuple[tuple[str | int, ...], Any]]:
        """Walk every scalar leaf, yielding ``(path, value)`` pairs where ``path``
        is a tuple of mapping keys and sequence indices. Combine with item
        access to perform bulk edits:

        ```python
        for path, value in doc.walk():
            if value == "CHANGEME":
                target = doc
                for key in path[:-1]:
                    target = target[key]
                target[path[-1]] = "new value"
        ```"""
    @property
    def origin(self) -> str | None:
        """The path this document was loaded from, if any."""
    @property
    def node(self) -> QuillmereNode:
        """The root [`QuillmereNode`] cursor: a metadata-bearing handle from which any node
        in the tree can be reached by indexing (`doc.node["server"]["port"]`).
        Unlike item access, indexing a `QuillmereNode` always yields another `QuillmereNode`, so
        comments, source location, style, anchor, and tag stay reachable down to
        individual scalars."""
    @property
    def anchors(self) -> dict[str, QuillmereNode]:
        """A mapping of every anchor name (`&name`) to the [`QuillmereNode`] that defines it,
        for discovering and navigating the document's anchors. Use a definition's
        `QuillmereNode.aliases` to find the `*name` references that point back at it."""
    def __len__(self) -> int: ...
    def __getitem__(self, key: str | int) -> Any: ...
    def __setitem__(self, key: str | int, value: Any) -> None: ...
    def __delitem__(self, key: str | int) -> None: ...
    def __contains__(self, key: object) -> bool: ...

@final
class QuillmereDocumentView:
    """A live proxy onto a nested node of a [`QuillmereDocument`], addressed by path."""

    def get(self, key: str | int, default: Any) -> Any: ...
    def keys(self) -> list[Any]: ...
    @property
    def node(self) -> QuillmereNode:
        """The [`QuillmereNode`] cursor for this view's node: a metadata-bearing handle
        exposing comments, source location, style, anchor, and tag."""
    def unwrap(self) -> Any:
        """The resolved plain-Python value of this node (dict/list/scalar)."""
    def to_dict(self) -> Any:
        """Alias for [`unwrap`](Self::unwrap): the resolved plain-Python value."""
    def range(self) -> tuple[int, int, int, int]:
        """The node's 1-based source range `(start_line, start_col, end_line,
        end_col)`."""
    def walk(self) -> list[tuple[tuple[str | int, ...], Any]]:
        """Walk every scalar leaf below this view, yielding ``(path, value)`` pairs
        relative to this node."""
    def to_yaml(self) -> bytes:
        """Serialize just this nested node back to YAML bytes."""
    def __len__(self) -> int: ...
    def __getitem__(self, key: str | int) -> Any: ...
    def __setitem__(self, key: str | int, value: Any) -> None: ...
    def __delitem__(self, key: str | int) -> None: ...
    def __contains__(self, key: object) -> bool: ...

@final
class QuillmereNode:
    """A metadata-bearing handle onto a single node of a [`QuillmereDocument`].

    Where [`QuillmereDocumentView`] targets containers and resolves scalars to plain
    Python values, a `QuillmereNode` is returned for *every* node (scalars included), so
    comments, source location, scalar/collection style, anchor, and tag are
    always reachable without knowing the node's path in advance. Obtain the root
    cursor with `QuillmereDocument.node`, then index into it (`doc.node["server"]["port"]`)
    to address any node in the tree; each index step returns another `QuillmereNode`.

    Comments follow YAML's own placement. `comment_before` is the standalone
    comment above a node (above its key, for a mapping value) and `comment` is
    the inline comment trailing the value on the same line. Both read and write
    the bare comment text, without the leading `#`."""

    @property
    def value(self) -> Any:
        """Replace this node's value, preserving its comments, anchor, and tag."""
    @value.setter
    def value(self, value: Any) -> None: ...
    @property
    def line(self) -> int:
        """The node's 1-based source line."""
    @property
    def column(self) -> int:
        """The node's 1-based source column."""
    @property
    def offset(self) -> int:
        """The 0-based byte offset of the node's first source character.

        Together with [`end_offset`](Self::end_offset) this gives the node's exact
        source extent, so the original bytes can be sliced directly
        (`source[node.offset : node.end_offset]`) — something line/column alone
        cannot do without re-deriving offsets."""
    @property
    def end_offset(self) -> int:
        """The 0-based byte offset just past the node's last source character.

        Exact (not the approximation [`range`](Self::range) derives from the
        post-scan text): the scanner records each scalar's true source end, and a
        collection spans to the furthest end of any child."""
    @property
    def file(self) -> str | None:
        """The path of the source file this node came from, or `None` when the
        document was not loaded with includes (so there is a single source)."""
    @property
    def comment(self) -> str | None:
        """Set or clear the inline comment. Pass the bare text (no `#`) or `None`."""
    @comment.setter
    def comment(self, text: str | None) -> None: ...
    @property
    def comment_before(self) -> str | None:
        """Set or clear the standalone comment line(s) above this node. A
        multi-line string becomes one comment line per line; `None` removes
        the comment."""
    @comment_before.setter
    def comment_before(self, text: str | None) -> None: ...
    @property
    def style(self) -> str:
        """The presentation style: a scalar's quoting (`plain`, `single`, `double`,
        `literal`, `folded`), a collection's layout (`block`, `flow`), `alias`,
        or `null`."""
    @property
    def anchor(self) -> str | None:
        """Set or clear this node's anchor (`&name`). The name must be unique:
        assigning a name already defined on another node is an error, so the
        document can never emit two `&name` definitions. `None` removes the
        anchor."""
    @anchor.setter
    def anchor(self, name: str | None) -> None: ...
    @property
    def tag(self) -> str | None:
        """The node's explicit tag (e.g. `!!str`, `!custom`), or `None`."""
    @property
    def source_tag(self) -> str | None:
        """The config/custom tag that produced this node (`!secret`, `!env_var`,
        `!include*`, or a custom `!mytag`), or `None`. Provenance for a resolved
        node, distinct from `tag` (the node's own YAML type tag)."""
    @property
    def source_target(self) -> str | None:
        """The directive argument that produced this node (the secret name, include
        path, or env-var spec), or `None`. With `source_tag`, reconstructs the
        directive (e.g. `!secret db_password`)."""
    @property
    def is_secret(self) -> bool:
        """Whether this node's value was produced by a `!secret` directive."""
    @property
    def is_env_var(self) -> bool:
        """Whether this node's value was produced by an `!env_var` directive."""
    @property
    def is_include(self) -> bool:
        """Whether this node's value was produced by any `!include` directive."""
    @property
    def is_alias(self) -> bool:
        """Whether this node is an alias (`*name`)."""
    @property
    def target(self) -> QuillmereNode | None:
        """For an alias, the `QuillmereNode` of the anchor definition it points at; `None`
        for any non-alias node (or an alias whose anchor is undefined)."""
    @property
    def aliases(self) -> list[QuillmereNode]:
        """If this node defines an anchor (`&name`), the alias `QuillmereNode`s that
        reference it, in document order. Empty for a node with no anchor."""
    def make_alias(self, name: str) -> None:
        """Turn this node into an alias (`*name`) of an existing anchor, replacing
        its current value. The anchor must already be defined earlier in the
        document, so that no dangling or forward reference can arise; mark the
        target first with `anchor = "name"`."""
    def detach(self) -> QuillmereNode:
        """Replace this alias with an independent deep copy of the anchor it
        points at and return the new `QuillmereNode`. The copy carries the
        anchored node's styles and comments but no anchor of its own, with any
        aliases inside it expanded, so editing it no longer affects the anchored
        node. Raises if this node is not an alias."""
    def __getitem__(self, key: str | int) -> QuillmereNode: ...
    def __contains__(self, key: object) -> bool: ...

@final
class QuillmereTag:
    """A custom-tagged YAML value, returned when `OPT_PASSTHROUGH_TAG` is set and
    accepted by `dumps` to emit a `!tag value` back out.

    Holds the original tag (e.g. `!mytag`) and the resolved inner `value`."""

    def __new__(cls, tag: str, value: Any) -> QuillmereTag: ...
    @property
    def tag(self) -> str: ...
    @property
    def value(self) -> Any: ...

@final
class QuillmereAnnotatedDict(dict[Any, Any]):
    """A `dict` subclass carrying source-location metadata (`__line__`,
    `__column__`, `__file__`), returned for mappings in annotated mode.

    It is constructible like a plain `dict` and round-trips through `copy`,
    `deepcopy` and `pickle` like any plain subclass; its module is set to
    `quillmere` so that pickle can locate the class."""

    def __new__(cls, *_args: Any, **_kwargs: Any) -> QuillmereAnnotatedDict: ...
    @property
    def __line__(self) -> int: ...
    @property
    def __column__(self) -> int: ...
    @property
    def __file__(self) -> str | None: ...
    @property
    def __end_line__(self) -> int:
        """The 1-based line of the position just past the node."""
    @property
    def __end_column__(self) -> int: ...
    @property
    def __offset__(self) -> int:
        """The 0-based byte offset of the node's first source character; with
        `__end_offset__` it is the exact byte range, so the source bytes can be
        sliced directly."""
    @property
    def __end_offset__(self) -> int:
        """The 0-based byte offset just past the node's last source character."""
    @property
    def __source_tag__(self) -> str | None:
        """The directive tag (`!secret`, `!env_var`, one of the include tags) or
        custom tag that produced the node, or `None`."""
    @property
    def __source_target__(self) -> str | None:
        """The directive's argument (secret name, include path or
        environment-variable spec), or `None`."""
    @property
    def is_secret(self) -> bool:
        """Whether this node's value was produced by a `!secret` directive."""
    @property
    def is_env_var(self) -> bool:
        """Whether this node's value was produced by an `!env_var` directive."""
    @property
    def is_include(self) -> bool:
        """Whether this node's value was produced by any `!include` directive."""
    def __reduce__(self) -> tuple[Any, ...]:
        """Drive `pickle` and, through their fallback, `copy` and `deepcopy`:
        rebuild through the no-argument constructor, repopulate through the
        items iterator (so `copy` reuses the values and `deepcopy` recurses into
        them), and restore the annotation through `__setstate__`."""
    def __setstate__(self, state: tuple[Any, ...]) -> None:
        """Restore the source-location fields when unpickling or copying; the
        items are repopulated separately by the reduce protocol's items
        iterator."""

@final
class QuillmereAnnotatedList(list[Any]):
    """A `list` subclass carrying source-location metadata (`__line__`,
    `__column__`, `__file__`), returned for sequences in annotated mode.

    It is constructible like a plain `list` and round-trips through `copy`,
    `deepcopy` and `pickle` like any plain subclass; its module is set to
    `quillmere` so that pickle can locate the class."""

    def __new__(cls, *_args: Any, **_kwargs: Any) -> QuillmereAnnotatedList: ...
    @property
    def __line__(self) -> int: ...
    @property
    def __column__(self) -> int: ...
    @property
    def __file__(self) -> str | None: ...
    @property
    def __end_line__(self) -> int:
        """The 1-based line of the position just past the node."""
    @property
    def __end_column__(self) -> int: ...
    @property
    def __offset__(self) -> int:
        """The 0-based byte offset of the node's first source character; with
        `__end_offset__` it is the exact byte range, so the source bytes can be
        sliced directly."""
    @property
    def __end_offset__(self) -> int:
        """The 0-based byte offset just past the node's last source character."""
    @property
    def __source_tag__(self) -> str | None:
        """The directive tag (`!secret`, `!env_var`, one of the include tags) or
        custom tag that produced the node, or `None`."""
    @property
    def __source_target__(self) -> str | None:
        """The directive's argument (secret name, include path or
        environment-variable spec), or `None`."""
    @property
    def is_secret(self) -> bool:
        """Whether this node's value was produced by a `!secret` directive."""
    @property
    def is_env_var(self) -> bool:
        """Whether this node's value was produced by an `!env_var` directive."""
    @property
    def is_include(self) -> bool:
        """Whether this node's value was produced by any `!include` directive."""
    def __reduce__(self) -> tuple[Any, ...]:
        """Drive `pickle` and, through their fallback, `copy` and `deepcopy`:
        rebuild through the no-argument constructor, repopulate through the
        items iterator (so `copy` reuses the values and `deepcopy` recurses into
        them), and restore the annotation through `__setstate__`."""
    def __setstate__(self, state: tuple[Any, ...]) -> None:
        """Restore the source-location fields when unpickling or copying; the
        items are repopulated separately by the reduce protocol's items
        iterator."""
