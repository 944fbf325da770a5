"""Files the package writes appear whole or not at all.

A file is written beside its target under a new name and renamed over the
target only once complete, so a failed save leaves the previous file as it
was. Targets that exist and are not regular files (folders, FIFOs, devices)
are refused before anything is created, a target the library holds open (a
recording in progress) is not replaced, and nothing but the new file is ever
removed.
"""

from __future__ import annotations

import contextlib
import errno
import os
import secrets
import stat
import sys
from typing import Iterator

_ATTEMPTS = 16


def _refuse(code: int, why: str, path: str) -> OSError:
    return OSError(code, why, path)


def _resolve(target: str) -> str:
    """The file a save to ``target`` replaces: links followed, checked to be
    a regular file or nothing yet."""
    resolved = target
    if os.path.islink(target):
        resolved = os.path.realpath(target)
        if not os.path.lexists(resolved):
            raise _refuse(errno.ENOENT, "the link names no file", target)
    try:
        mode = os.stat(resolved).st_mode
    except FileNotFoundError:
        return resolved
    if not stat.S_ISREG(mode):
        raise _refuse(errno.EINVAL, "not a regular file", target)
    return resolved


def _create_beside(target: str, keep_extension: bool) -> str:
    folder, name = os.path.split(target)
    # Writers that choose the format by the extension see the target's.
    extension = os.path.splitext(name)[1] if keep_extension else ""
    for _ in range(_ATTEMPTS):
        candidate = os.path.join(folder, f".{name}.{secrets.token_hex(8)}.tmp{extension}")
        try:
            flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0)
            fd = os.open(candidate, flags, 0o666)
        except FileExistsError:
            continue
        os.close(fd)
        return candidate
    raise _refuse(errno.EEXIST, "no free name for the new file beside it", target)


@contextlib.contextmanager
def _target_unlocked(target: str) -> Iterator[None]:
    """Holds the library's exclusive lock on ``target`` while it is replaced;
    refuses when another writer holds it (off Windows: the library's files
    carry an advisory lock there, and Windows refuses the rename itself)."""
    if sys.platform == "win32":
        yield
        return
    import fcntl

    try:
        fd = os.open(target, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC | os.O_NOCTTY)
    except (FileNotFoundError, PermissionError):
        yield  # nothing there, or nothing this user could have locked
        return
    try:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise _refuse(errno.EBUSY, "in use by another writer", target) from None
        yield
    finally:
        os.close(fd)


@contextlib.contextmanager
def replacing(target: str, keep_extension: bool = False) -> Iterator[str]:
    """Yields the name of a new, empty file beside ``target`` (ending in the
    target's extension when ``keep_extension``); when the block ends normally
    the file is renamed over ``target`` (keeping the replaced file's
    permissions), otherwise it is removed."""
    resolved = _resolve(target)
    temporary = _create_beside(resolved, keep_extension)
    try:
        yield temporary
        if sys.platform != "win32":  # durable before it replaces anything
            fd = os.open(temporary, os.O_RDONLY | os.O_CLOEXEC)
            try:
                os.fsync(fd)
            finally:
                os.close(fd)
        with contextlib.suppress(FileNotFoundError):
            os.chmod(temporary, stat.S_IMODE(os.stat(resolved).st_mode))
        if os.path.exists(resolved) and not os.path.isfile(resolved):
            raise _refuse(errno.EINVAL, "not a regular file", target)
        with _target_unlocked(resolved):
            os.replace(temporary, resolved)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise
