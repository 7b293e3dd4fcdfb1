"""Runs the release VTConsole.exe under Wine in application directories of its own.

A test module gets one Wine prefix with one persistent server (WineTestCase). Each test lays out
a fresh application directory (make_installation), runs the launcher in it (run) and looks at
what a user would see: the exit code, the message box, the processes started, the files.

What Wine is asked to show: a relay trace restricted to the calls that a user sees or that
start a process (RelayInclude), which gives the message box's text and each CreateProcessA's
command line and creation flags. A run lasts until every process it started, the launcher's
detached children included, has ended: they all carry the run's own environment variable.
"""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import uuid
from dataclasses import dataclass, field
from pathlib import Path

from pe import PeFile

BUILD_DIR = Path(os.environ.get('VT_BUILD_DIR', Path(__file__).resolve().parents[2] / 'build/release'))
SOURCE_DIR = Path(os.environ.get('VT_SOURCE_DIR', Path(__file__).resolve().parents[2]))
LAUNCHER = BUILD_DIR / 'VTConsole.exe'
# What the launcher may weigh, in bytes: whole, and without its resources (icon, version,
# manifest). Other small launchers weigh 57 KB and more.
SIZE_TARGETS = (55 * 1024, 51 * 1024)
SAMPLE_APP = SOURCE_DIR / 'sample' / 'app'

FAILURE_MESSAGE = 'Unable to initiate application'
CLIENT_COMMAND_LINE = ('jre\\bin\\javaw.exe -Xmx128m -Dsun.net.spi.nameservice.provider.1=dns,sun '
                       '-Djavax.net.ssl.trustStore=cacerts '
                       '-Djava.security.auth.login.config=auth.conf -jar lib/vt-client.jar')
CREATE_NEW_PROCESS_GROUP = 0x200
TRACED_CALLS = ('user32.MessageBoxA;kernel32.CreateProcessA;kernel32.SetCurrentDirectoryA;'
                'kernel32.Sleep')
RUN_TIMEOUT = 180


def standin(name):
    """A stand-in program built beside the launcher (tests/standins/NAME.c)."""
    return BUILD_DIR / f'standin_{name}.exe'


def windows_path(path):
    """The Windows form of a Linux path, as Wine shows it (drive Z: is the Linux root)."""
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')


@dataclass
class Run:
    exit_code: int
    trace: str
    message_boxes: list = field(default_factory=list)
    process_starts: list = field(default_factory=list)  # (command line, creation flags)
    directory_changes: list = field(default_factory=list)
    sleeps: list = field(default_factory=list)  # milliseconds, the launcher's own calls only
    output: str = ''


def _unquote(text):
    return text.encode('latin-1').decode('unicode_escape')


def _launcher_image():
    """The addresses of the launcher's own code once Wine has loaded it, at its image base."""
    pe = PeFile(LAUNCHER.read_bytes())
    return range(pe.image_base, pe.image_base + pe.image_size)


def parse_trace(exit_code, trace):
    run = Run(exit_code, trace)
    launcher_code = _launcher_image()
    for line in trace.splitlines():
        call = re.search(r'Call (\w+)\.(\w+)\((.*)\) ret=([0-9a-f]+)', line)
        if not call:
            continue
        function, arguments = call.group(2), call.group(3)
        caller = int(call.group(4), 16)
        strings = [_unquote(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', arguments)]
        numbers = re.findall(r'(?:^|,)([0-9a-f]{8})(?=,|$| ")', arguments)
        if function == 'MessageBoxA':
            run.message_boxes.append(strings[0] if strings else None)
        elif function == 'CreateProcessA':
            fields = re.sub(r' "(?:[^"\\]|\\.)*"', '', arguments).split(',')
            run.process_starts.append((strings[0] if strings else None, int(fields[5], 16)))
        elif function == 'SetCurrentDirectoryA':
            run.directory_changes.append(strings[0] if strings else None)
        elif function == 'Sleep' and numbers and caller in launcher_code:
            # Wine's own processes of the prefix write to the same trace, and some of them
            # poll with short sleeps of their own.
            run.sleeps.append(int(numbers[0], 16))
    return run


class WinePrefix:
    """One Wine prefix with a persistent server, for the tests of one module."""

    def __init__(self, name=None, path=None):
        self.path = Path(path) if path else BUILD_DIR / 'wine' / name
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEDEBUG='-all',
                        WINEDLLOVERRIDES='mscoree,mshtml=')

    def start(self):
        """Starts the prefix's server, to last until stop(). Without it every run would start a
        server of its own that shuts down as the run's last process ends, and a run that begins
        at that moment loses its connection to the server and ends with 1 before its program
        runs."""
        fresh = not self.path.exists()
        # The server starts only in a prefix that exists, and only when no server holds it (one
        # that a run started on its own may still be shutting down).
        self.path.mkdir(parents=True, exist_ok=True)
        self._quiet(['wineserver', '-k'])
        self._quiet(['wineserver', '-p'], check=True)
        if fresh:
            self.set_value(r'HKCU\Software\Wine\WineDbg', 'ShowCrashDialog', 'REG_DWORD', '0')
            self.set_value(r'HKCU\Software\Wine\Debug', 'RelayInclude', 'REG_SZ', TRACED_CALLS)
        # Also in a prefix made before it was done: a crash must end the program, not hang it.
        self._quiet([SOURCE_DIR / 'tests' / 'no-crash-debugger'], check=True)

    def stop(self):
        self._quiet(['wineserver', '-k'])

    def query_values(self, key):
        """The values of a registry key as reg.exe shows them: {name: (type, data)}."""
        shown = subprocess.run(['wine', 'reg', 'query', key], env=self.env,
                               stdin=subprocess.DEVNULL, capture_output=True, text=True,
                               timeout=RUN_TIMEOUT).stdout
        values = {}
        for line in shown.splitlines():
            parts = re.match(r'\s{4}(.*?)\s{4}(REG_\w+)\s{4}?(.*)$', line)
            if parts:
                values[parts.group(1)] = (parts.group(2), parts.group(3))
        return values

    def _quiet(self, command, **options):
        return subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=RUN_TIMEOUT, **options)

    def set_value(self, key, name, kind, data):
        self._quiet(['wine', 'reg', 'add', key, '/v', name, '/t', kind, '/d', data, '/f'],
                    check=True)

    @property
    def drive_c(self):
        return self.path / 'drive_c'

    @property
    def hosts_file(self):
        return self.drive_c / 'windows/system32/drivers/etc/hosts'

    def run(self, program, arguments=(), cwd=None, env=None, wrapper=(), capture=False,
            resolve=(), silent_dns=0):
        """Runs a Windows program to its end and waits for every process it started; with
        capture, what it wrote to its standard output is kept in the result's output.

        The run resolves host names from a hosts file of its own, in which only the names in
        resolve are found (at 127.0.0.1); it never asks a DNS server but, with silent_dns, its
        own that never answers, so that each other name waits that many seconds in vain."""
        marker = uuid.uuid4().hex
        run_env = {**self.env, 'WINEDEBUG': '-all,+relay', 'VT_E2E_RUN': marker, **(env or {})}
        with tempfile.TemporaryFile() as trace, \
                tempfile.TemporaryDirectory(dir=BUILD_DIR) as resolver, \
                socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as name_server:
            command = [*private_resolution(resolver, resolve, name_server, silent_dns),
                       *wrapper, 'wine', str(program), *arguments]
            completed = subprocess.run(command, cwd=cwd, env=run_env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                                       stderr=trace, timeout=RUN_TIMEOUT)
            self.wait_for_processes(marker)
            trace.seek(0)
            text = trace.read().decode('latin-1')
        run = parse_trace(completed.returncode, text)
        run.output = completed.stdout.decode('latin-1') if capture else ''
        return run

    @staticmethod
    def wait_for_processes(marker, timeout=RUN_TIMEOUT):
        needle = f'VT_E2E_RUN={marker}'.encode()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not any(_process_carries(pid, needle) for pid in os.listdir('/proc')
                       if pid.isdigit()):
                return
            time.sleep(0.1)
        raise TimeoutError('processes of the run did not end')


def private_resolution(directory, names, name_server, seconds=0):
    """A command prefix that runs the rest of the command in a mount namespace of its own, where
    /etc/hosts lists only names (at 127.0.0.1) and the resolver looks nowhere else, or, given
    seconds, asks name_server next (a UDP socket, bound here to an address of this process's
    own, that the caller keeps open and never reads), waiting that long in vain. Wine resolves
    names in the calling process, so this reaches the launcher and whatever it starts, while the
    machine's own files stay untouched."""
    if seconds:
        name_server.bind((f'127.{os.getpid() >> 8 & 255}.{os.getpid() & 255}.53', 53))
    hosts, nsswitch, resolv = (Path(directory) / name
                               for name in ('hosts', 'nsswitch.conf', 'resolv.conf'))
    hosts.write_text(''.join(f'127.0.0.1 {name}\n' for name in names))
    nsswitch.write_text('hosts: files dns\n' if seconds else 'hosts: files\n')
    resolv.write_text(f'nameserver {name_server.getsockname()[0]}\n'
                      f'options timeout:{seconds} attempts:1\n')
    return ['unshare', '-m', 'sh', '-c',
            'mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/nsswitch.conf && '
            'mount --bind "$3" /etc/resolv.conf && shift 3 && exec "$@"',
            'sh', str(hosts), str(nsswitch), str(resolv)]


def _process_carries(pid, needle, program=b''):
    try:
        with open(f'/proc/{pid}/environ', 'rb') as environ:
            if needle not in environ.read().split(b'\0'):
                return False
        with open(f'/proc/{pid}/cmdline', 'rb') as cmdline:
            arguments = cmdline.read().lower()
    except OSError:
        return False
    # Wine's own services start with the first run of a prefix and outlive it.
    return (program in arguments and b'c:\\windows\\' not in arguments and
            b'wineserver' not in arguments)


def make_installation(root, client=True, launcher_name='VTConsole.exe'):
    """Lays out the sample installation in root/app and returns that directory."""
    app = Path(root) / 'app'
    shutil.copytree(SAMPLE_APP, app, dirs_exist_ok=True)
    shutil.copy(LAUNCHER, app / launcher_name)
    if client:
        (app / 'jre/bin').mkdir(parents=True, exist_ok=True)
        shutil.copy(standin('client'), app / 'jre/bin/javaw.exe')
    return app


def read_standin_log(path):
    """The stand-ins' records: one dict per start, in order."""
    if not Path(path).exists():
        return []
    records = []
    for line in Path(path).read_text(encoding='latin-1').splitlines():
        event, program, command_line, directory, ticks, frequency = line.split('|')
        records.append(dict(event=event, program=program, command_line=command_line,
                            directory=directory,
                            seconds=int(ticks) / int(frequency)))
    return records


def read_account(path):
    """The lines of an account of starts, as (process id, text); each line must have the form
    "YYYY-MM-DD hh:mm:ss.mmm [PID] text" and end with CR LF."""
    data = Path(path).read_bytes().decode('latin-1')
    assert data.endswith('\r\n') and '\n' not in data.replace('\r\n', ''), data
    lines = [re.fullmatch(r'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] (.+)', line)
             for line in data[:-2].split('\r\n')]
    assert all(lines), data
    return [(int(line.group(1)), line.group(2)) for line in lines]


class WineTestCase(unittest.TestCase):
    """A test case with a Wine prefix for its module and a fresh folder for each test."""

    prefix = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = WinePrefix('e2e-' + cls.__module__)
        cls.prefix.start()

    @classmethod
    def tearDownClass(cls):
        cls.prefix.stop()

    def setUp(self):
        scratch = BUILD_DIR / 'e2e-scratch'
        scratch.mkdir(exist_ok=True)
        self.root = Path(tempfile.mkdtemp(prefix=self.id().rsplit('.', 1)[-1] + '-', dir=scratch))
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.client_log = self.root / 'standin.log'

    def launch(self, app, arguments=(), program='VTConsole.exe', cwd=None, **options):
        """Runs the launcher of app as a user's shortcut would, with the stand-ins' log."""
        env = dict(options.pop('env', {}), VT_STANDIN_LOG=windows_path(self.client_log))
        return self.prefix.run(Path(app) / program, arguments, cwd=cwd or app, env=env, **options)

    def rush(self, app, starts, folders=(), **options):
        """Starts the launcher of app starts times back to back, through the Windows spellings of
        its folder in folders in turn (its own by default); returns the run and the exit codes of
        the starts."""
        programs = [folder + '\\VTConsole.exe' for folder in folders or (windows_path(app),)]
        run = self.launch(app, (str(starts), *programs), program=standin('rush'), capture=True,
                          **options)
        return run, [int(code) for code in run.output.split()]

    def client_starts(self):
        return read_standin_log(self.client_log)
