"""Enums whose members are the public headers' named numbers (see _names.py)."""

from __future__ import annotations

import enum
from typing import Any, Mapping, Optional, Sequence, Tuple, Type, TypeVar, Union

from . import _names

E = TypeVar("E", bound=enum.IntEnum)


def header_enum(
    name: str,
    prefix: str,
    doc: str,
    module: str,
    base: Type[E] = enum.IntEnum,  # type: ignore[assignment]
    spellings: Optional[Mapping[str, str]] = None,
    leading: Sequence[Tuple[str, int]] = (),
    skip: Sequence[str] = (),
) -> Any:
    """An IntEnum ``name`` (defined in ``module``) of the KOLTHERMO_<prefix>* macros.

    Typed Any: its members are made when the package loads, so type checkers
    cannot know them, and a narrower type would make them refuse every member.

    Members are named without the prefix and come in header order. ``spellings``
    renames a member whose Python name is older than the header's name for it;
    ``leading`` members of the package's own come first. ``base`` may be a
    member-less IntEnum subclass that brings methods. ``skip`` names macros
    (without the prefix) that are counts or limits rather than members.
    """
    spellings = spellings or {}
    members = list(leading) + [
        (spellings.get(macro[len(prefix) :], macro[len(prefix) :]), value)
        for macro, value in vars(_names).items()
        if macro.startswith(prefix)
        and isinstance(value, int)  # not CODE_NAMES
        and macro[len(prefix) :] not in skip
    ]
    made = base(name, members, module=module, qualname=name)  # type: ignore
    made.__doc__ = doc
    return made


def member_or_int(kind: Type[E], value: int) -> Union[E, int]:
    """The member for ``value``; a value without one stays an int."""
    try:
        return kind(value)
    except ValueError:
        return value
