"""The exceptions that quillmere raises.

Every error of the library derives from :class:`QuillmereError`. Errors about
the YAML text itself (:class:`QuillmereParseError`,
:class:`QuillmereDuplicateKeyError`, :class:`QuillmereComplexKeyError`) are
also :class:`ValueError`, and the include errors share the base
:class:`QuillmereIncludeError`.

Errors located in the text carry ``file`` (``None`` for the root text),
``line`` and ``column`` (1-based); include errors also carry
``include_stack`` and schema errors ``schema_path``.
"""

from __future__ import annotations

__all__ = [
    "QuillmereError",
    "QuillmereParseError",
    "QuillmereDecodeError",
    "QuillmereEncodeError",
    "QuillmereEnvVarError",
    "QuillmereSchemaError",
    "QuillmereIncludeError",
    "QuillmereComplexKeyError",
    "QuillmereDuplicateKeyError",
    "QuillmereIncludeDepthError",
    "QuillmereSecretNotFoundError",
    "QuillmereUnserializableError",
    "QuillmereCircularIncludeError",
    "QuillmereIncludeNotFoundError",
    "QuillmereIncludeConfinementError",
]


class QuillmereError(Exception):
    """Base class of every quillmere error."""

    file: str | None = None
    line: int | None = None
    column: int | None = None


class QuillmereParseError(QuillmereError, ValueError):
    """The text is not valid YAML, or exceeds a nesting or alias limit."""


class QuillmereDuplicateKeyError(QuillmereError, ValueError):
    """A mapping repeats a key under ``OPT_DUPLICATE_KEYS_ERROR``."""


class QuillmereComplexKeyError(QuillmereError, ValueError):
    """A sequence or mapping is used as a key under ``OPT_REJECT_COMPLEX_KEYS``."""


class QuillmereDecodeError(QuillmereError):
    """A loaded mapping key cannot be hashed in Python."""


class QuillmereEncodeError(QuillmereError):
    """Converting or writing an object for ``dumps`` or ``to_json`` failed."""


class QuillmereUnserializableError(QuillmereError, TypeError):
    """No conversion rule accepts an object given to ``dumps`` or ``to_json``."""


class QuillmereSchemaError(QuillmereError):
    """The first document violates the JSON Schema; ``schema_path`` names where."""

    schema_path: str | None = None


class QuillmereEnvVarError(QuillmereError):
    """An ``!env_var`` directive names an unset variable and has no default."""


class QuillmereSecretNotFoundError(QuillmereError):
    """A ``!secret`` directive names a secret that no ``secrets.yaml`` holds."""


class QuillmereIncludeError(QuillmereError):
    """An include directive failed; ``include_stack`` lists the including files."""

    include_stack: list | None = None


class QuillmereIncludeNotFoundError(QuillmereIncludeError):
    """An included file or directory does not exist."""


class QuillmereCircularIncludeError(QuillmereIncludeError):
    """A file includes itself, directly or through other files."""


class QuillmereIncludeDepthError(QuillmereIncludeError):
    """The chain of included files is longer than the limit."""


class QuillmereIncludeConfinementError(QuillmereIncludeError):
    """An include resolves to a path outside the include root."""
