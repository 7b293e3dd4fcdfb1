"""What the self-update tests share: a new launcher build, inventories, and a file holder."""

import os
import subprocess
import threading
import time
import uuid
from contextlib import contextmanager
from pathlib import Path

from harness import LAUNCHER, RUN_TIMEOUT, WinePrefix, _process_carries, standin, windows_path

# Appended to a copy of the release launcher: it still runs, and it can be told from the old one.
NEW_BUILD_MARK = b'\0VTConsole test build: the new launcher\0'


def new_launcher_bytes():
    return LAUNCHER.read_bytes() + NEW_BUILD_MARK


def write_file(path, content):
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content.encode() if isinstance(content, str) else content)


def inventory(directory):
    """Every entry below directory: {relative path: bytes for a file, None for a directory}."""
    directory = Path(directory)
    return {str(path.relative_to(directory)): None if path.is_dir() else path.read_bytes()
            for path in sorted(directory.rglob('*'))}


@contextmanager
def holding(prefix, path, signals, program=None, milliseconds=120000, release_after_seen=None,
            share=0):
    """Keeps path open in a process of its own (the holder stand-in, or a copy of it under
    another name) until the block ends, with the Win32 share mode share (0: nobody else may
    open it); the holder's signal files lie in the folder signals, outside the application
    directory. With release_after_seen=(needle, seconds), the hold ends that many seconds after
    a process carrying the environment entry needle has appeared, so that the time counts from
    the start of the program under test, not of ours."""
    marker = uuid.uuid4().hex
    ready = Path(signals) / f'ready-{marker}'
    release = Path(signals) / f'release-{marker}'
    program = Path(program or standin('holder'))
    process = subprocess.Popen(
        ['wine', str(program), windows_path(path), str(milliseconds), windows_path(ready),
         windows_path(release), str(share)],
        cwd=program.parent, env=dict(prefix.env, VT_E2E_RUN=marker), stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    watcher = None
    try:
        deadline = time.monotonic() + RUN_TIMEOUT
        while not ready.exists():
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f'the holder never held {path}')
            time.sleep(0.05)
        ready.unlink()
        if release_after_seen:
            watcher = threading.Thread(target=_release_after_seen,
                                       args=(release, *release_after_seen), daemon=True)
            watcher.start()
        yield
    finally:
        release.touch()
        process.wait(timeout=RUN_TIMEOUT)
        WinePrefix.wait_for_processes(marker)
        if watcher:
            watcher.join()
        release.unlink(missing_ok=True)


def _release_after_seen(release, needle, seconds):
    needle = needle.encode()
    deadline = time.monotonic() + RUN_TIMEOUT
    while time.monotonic() < deadline and not release.exists():
        if any(_process_carries(pid, needle) for pid in os.listdir('/proc') if pid.isdigit()):
            time.sleep(seconds)
            break
        time.sleep(0.05)
    release.touch()
