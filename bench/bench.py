"""Measures the launcher under Wine against two floors, side by side in one run, and prints one
table. The required-work floor (required_*.c) makes exactly the calls the launcher is bound to
make, in their order: the launcher is held to it. The least-work floor (floor_*.c) does only
what any program with the same result would do: against the required one it gives what the
required algorithm costs.

usage: bench.py [RUNS] [FIGURE...]   (run by script/bench; RUNS 15 unless told; FIGURE one of
       start, hosts, merge, merge-one-directory, rewrite, growth, size, costs, all by default)
"""

import os
import shutil
import statistics
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'tests' / 'e2e'))

import pe  # noqa: E402
from harness import (BUILD_DIR, LAUNCHER, SIZE_TARGETS, WinePrefix,  # noqa: E402
                     make_installation, read_standin_log, windows_path)

MAIN, DEMO = ('main.veltrix.example', '198.51.100.10'), ('demo.veltrix.example', '198.51.100.20')
ROOT = BUILD_DIR / 'bench'
TARGET = 1.10
# The launcher with its account for support switched on, against the same floor.
ACCOUNT_TARGET = 1.25
SIDES = ('launcher', 'required', 'least')
FIGURES = ('start', 'hosts', 'merge', 'merge-one-directory', 'rewrite', 'growth', 'size', 'costs')
SMALL_HOSTS_FILE = '127.0.0.1 localhost\r\n::1 localhost\r\n'


def numeric_host(i):
    return f'10.{i // 65536}.{i // 256 % 256}.{i % 256}'


def connection_list(count, numeric_hosts, servers=True):
    """count connections; the first numeric_hosts have distinct numeric hosts, with servers the
    first two of them the servers' addresses; the rest have host names."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<connections>']
    for i in range(count):
        if servers and i < 2:
            host = (MAIN, DEMO)[i][1]
        elif i < numeric_hosts:
            host = numeric_host(i)
        else:
            host = f'site{i}.example.com'
        lines += [f'  <connection name="Site {i}">', f'    <host>{host}</host>',
                  '    <port>443</port>', '  </connection>']
    lines.append('</connections>')
    return '\r\n'.join(lines) + '\r\n'


def hosts_file(lines):
    return ''.join(f'172.16.{i // 256 % 256}.{i % 256} host{i}.corp\r\n' for i in range(lines))


def machine():
    cpu = next((line.split(':', 1)[1].strip() for line in open('/proc/cpuinfo')
                if line.startswith('model name')), 'unknown processor')
    # script/wine-env preloads a library into qemu-user where 32-bit programs need it.
    how = 'under qemu-user' if os.environ.get('QEMU_SET_ENV') else 'natively'
    return f'{os.cpu_count()} cores of {cpu}, 32-bit programs run {how}'


def servers(prefix):
    """The process ids of the Wine servers running for prefix."""
    needle = f'WINEPREFIX={prefix.path}'.encode()
    found = set()
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            command = Path(f'/proc/{pid}/cmdline').read_bytes()
            environment = Path(f'/proc/{pid}/environ').read_bytes().split(b'\0')
        except OSError:
            continue
        if b'wineserver' in command and needle in environment:
            found.add(int(pid))
    return found


def paired_ratio(numerators, denominators):
    """The median of the rounds' own ratios. The runs of one round follow closely on each
    other, so a change of the machine's load from one round to the next cancels out, and a
    burst within a round moves only that round's ratio, which the median passes over."""
    return statistics.median(n / d for n, d in zip(numerators, denominators))


def milliseconds(times):
    return f'{min(times) * 1000:.1f} / {statistics.median(times) * 1000:.1f}'


class RunFailed(Exception):
    """A program of a figure that ended with an exit code other than 0, or printed no seconds."""

    def __init__(self, program, run):
        super().__init__(f'{Path(program).name} ended with {run.exit_code}')
        self.program = Path(program).name
        self.run = run

    def report(self, figure):
        output = self.run.output.strip() or '(nothing)'
        wine = self.run.trace.strip().splitlines()[-20:] or ['(nothing)']
        return '\n'.join([f'figure {figure}: {self.program} ended with {self.run.exit_code}',
                          f'its output: {output}', 'the last lines Wine printed:',
                          *(f'  {line}' for line in wine)])


class Bench:
    def __init__(self, runs):
        self.runs = runs
        self.prefix = WinePrefix(path=ROOT / 'wine')
        self.hosts_text = None
        self.rows = []
        self.notes = []

    def run_program(self, program, arguments, cwd, env=None):
        # Both servers' names resolve, from the run's own hosts file. Wine's errors stay on, so
        # that a run which fails says why; a run that goes well prints none.
        run = self.prefix.run(program, arguments, cwd=cwd, resolve=(MAIN[0], DEMO[0]),
                              env={'WINEDEBUG': 'fixme-all', **(env or {})}, capture=True)
        try:
            if run.exit_code == 0:
                return float(run.output.split()[-1])
        except (IndexError, ValueError):
            pass
        raise RunFailed(program, run)

    def write_hosts_file(self, text):
        if text != self.hosts_text:
            self.prefix.hosts_file.write_bytes(text.encode('latin-1'))
            self.hosts_text = text

    @staticmethod
    def measure(rounds, sides):
        """Runs every side once a round, in an order that rotates from round to round, so that
        no side always runs first. sides maps a side's name to a function that
        prepares its run, runs it and returns its seconds."""
        times = {name: [] for name in sides}
        names = list(sides)
        for round_ in range(rounds):
            turn = round_ % len(names)
            for name in names[turn:] + names[:turn]:
                times[name].append(sides[name]())
        return times

    def add(self, figure, times, target=TARGET):
        launcher, required, least = (times[side] for side in SIDES)
        ratio = paired_ratio(launcher, required)
        self.rows.append((figure, f'{len(launcher)}', milliseconds(launcher),
                          milliseconds(required), f'{ratio:.3f}', f'<= {target:.2f}',
                          'ok' if ratio <= target else 'MISSED', milliseconds(least),
                          f'{paired_ratio(required, least):.2f}'))

    def start_sides(self, folder, listing, hosts, launcher_env=None):
        """The three sides of a start, in an installation whose list and hosts file a first
        start has prepared: every later start, the one a user makes each day, finds them done.
        launcher_env is the launcher's own environment, for its account."""
        app = make_installation(ROOT / folder)
        (app / 'conf/connections.xml').write_text(listing, newline='')
        shutil.copy(BUILD_DIR / 'bench_required_start.exe', app / 'required.exe')
        shutil.copy(BUILD_DIR / 'bench_floor_start.exe', app / 'least.exe')
        log = ROOT / folder / 'standin.log'

        def start(program):
            self.prefix.env['VT_STANDIN_LOG'] = windows_path(log)
            started = self.run_program(BUILD_DIR / 'bench_starter.exe', [f'.\\{program}'], app,
                                       launcher_env if program == 'VTConsole.exe' else None)
            [record] = read_standin_log(log)
            log.unlink()
            return record['seconds'] - started

        self.write_hosts_file(hosts)
        start('VTConsole.exe')
        prepared = self.prefix.hosts_file.read_bytes().decode('latin-1')
        self.hosts_text = prepared

        def run(program):
            self.write_hosts_file(prepared)
            return start(program)

        programs = dict(zip(SIDES, ('VTConsole.exe', 'required.exe', 'least.exe')))
        return {side: (lambda p=program: run(p)) for side, program in programs.items()}

    def figure_starts(self):
        sides = self.start_sides('start', connection_list(20, 10), SMALL_HOSTS_FILE)
        self.add('start to client (20 connections)', self.measure(2 * self.runs, sides))
        account = ROOT / 'start-account' / 'VTConsole.log'
        sides = self.start_sides('start-account', connection_list(20, 10), SMALL_HOSTS_FILE,
                                 {'VTCONSOLE_LOG': windows_path(account)})
        self.add('start with the account on', self.measure(2 * self.runs, sides),
                 ACCOUNT_TARGET)

    def figure_hosts_file_size(self):
        """The same start with a small hosts file and with a large one, their runs taking turns,
        so that the ratio of the two is paired too."""
        listing = connection_list(20, 20, servers=False)
        small = self.start_sides('start-small-hosts', listing, SMALL_HOSTS_FILE)
        large = self.start_sides('start-large-hosts', listing, hosts_file(100000))
        times = self.measure(2 * self.runs, {**{('small', side): run for side, run in
                                                small.items()},
                                             **{('large', side): run for side, run in
                                                large.items()}})
        for size, lines in (('small', 2), ('large', 100000)):
            self.add(f'start, 20 numeric hosts with entries, hosts {lines} lines',
                     {side: times[size, side] for side in SIDES})
        growth = {side: paired_ratio(times['large', side], times['small', side])
                  for side in SIDES}
        self.rows.append(('start, hosts 100000 lines against 2 (times)', '',
                          f'{growth["launcher"]:.2f}', f'{growth["required"]:.2f}', '',
                          'report', '', f'{growth["least"]:.2f}', ''))

    def figure_merge(self, files, directories, rounds):
        app = make_installation(ROOT / f'merge-{files}', client=False)
        per_directory = files // directories

        def lay_out_tree():
            for d in range(directories):
                shutil.rmtree(app / f'dir{d}', ignore_errors=True)
                folder = app / 'patches' / f'dir{d}'
                folder.mkdir(parents=True)
                for f in range(per_directory):
                    (folder / f'file{f}.dat').write_bytes(b'x' * 64)

        def merge(program, prefix):
            lay_out_tree()
            return self.run_program(BUILD_DIR / program, [prefix], app)

        prefix = windows_path(app) + '\\'
        times = self.measure(rounds, {
            'launcher': lambda: merge('bench_merge.exe', prefix),
            'required': lambda: merge('bench_required_merge.exe', prefix),
            'least': lambda: merge('bench_floor_merge.exe', windows_path(app))})
        self.add(f'patch merge ({files} files, {directories} dirs)', times)

    def rewrite_sides(self, hosts_lines):
        app = make_installation(ROOT / 'rewrite', client=False)
        listing = connection_list(5000, 1000)
        addresses = [numeric_host(i) for i in range(2, 1000)]

        def rewrite(program, arguments=()):
            (app / 'conf/connections.xml').write_text(listing, newline='')
            # Every run appends its entries: each starts from the same file.
            self.hosts_text = None
            self.write_hosts_file(hosts_file(hosts_lines))
            return self.run_program(BUILD_DIR / program, arguments, app)

        return {'launcher': lambda: rewrite('bench_rewrite.exe'),
                'required': lambda: rewrite('bench_required_rewrite.exe'),
                'least': lambda: rewrite('bench_floor_rewrite.exe', addresses)}

    def figure_rewrite(self):
        self.add('connection rewrite (5000 conns, hosts 1000 lines)',
                 self.measure(self.runs, self.rewrite_sides(1000)))

    def figure_rewrite_growth(self):
        steps = []
        for lines in (1000, 2000, 4000):
            sides = self.rewrite_sides(lines)
            del sides['least']
            times = self.measure(3, sides)
            steps.append(f'{lines} lines {min(times["launcher"]) * 1000:.0f} / '
                         f'{min(times["required"]) * 1000:.0f} ms')
        self.notes.append('connection rewrite by hosts file size (launcher / required, min of 3): '
                          + ', '.join(steps))

    def figure_size(self):
        image = pe.PeFile(LAUNCHER.read_bytes())
        size = LAUNCHER.stat().st_size
        without = size - image.section('.rsrc').SizeOfRawData
        whole_target, code_target = SIZE_TARGETS
        verdict = 'ok' if size <= whole_target and without <= code_target else 'MISSED'
        self.notes.append(f'size: whole {size} bytes, without resources {without} bytes: '
                          f'target <= {whole_target} / {code_target} {verdict} (other small '
                          'launchers 57000 / 62000)')

    def figure_operation_costs(self):
        costs = self.prefix.run(BUILD_DIR / 'bench_op_costs.exe', [], cwd=ROOT,
                                env={'WINEDEBUG': '-all'}, capture=True)
        self.notes.append('patch merge, cost of each operation here:')
        self.notes += [f'  {line}' for line in costs.output.splitlines()]

    def print_table(self):
        header = ('figure', 'runs', 'launcher ms (min / median)', 'required ms (min / median)',
                  'ratio', 'target', 'verdict', 'least ms (min / median)', 'required / least')
        rows = [header] + self.rows
        widths = [max(len(row[i]) for row in rows) for i in range(len(header))]
        for row in rows:
            print('  '.join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
        for note in self.notes:
            print(note)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    chosen = sys.argv[2:] or FIGURES
    unknown = set(chosen) - set(FIGURES)
    if runs < 3 or unknown:
        sys.exit(__doc__)
    shutil.rmtree(ROOT, ignore_errors=True)
    ROOT.mkdir(parents=True)
    bench = Bench(runs)
    figures = {'start': bench.figure_starts,
               'hosts': bench.figure_hosts_file_size,
               'merge': lambda: bench.figure_merge(1000, 50, runs),
               # Each of the 5000 entries lists what is left: the longest figure by far.
               'merge-one-directory': lambda: bench.figure_merge(5000, 1, 3),
               'rewrite': bench.figure_rewrite,
               'growth': bench.figure_rewrite_growth,
               'size': bench.figure_size,
               'costs': bench.figure_operation_costs}
    bench.prefix.start()
    # One server serves every run: a run never starts one of its own, nor meets one going away.
    first = servers(bench.prefix)
    try:
        for name in FIGURES:
            if name in chosen:
                try:
                    figures[name]()
                except RunFailed as failure:
                    sys.exit(failure.report(name))
        last = servers(bench.prefix)
    finally:
        bench.prefix.stop()
    print(f'Wine {os.popen("wine --version").read().strip()} on {machine()}')
    if len(first) == 1 and first == last:
        print(f'one Wine server (process {first.pop()}) for the whole bench')
    else:
        print(f'Wine\'s servers: processes {sorted(first)} at the start, {sorted(last)} at the end')
    print(f'{runs} rounds of one run of each side (twice as many for a start, 3 for the 5000 '
          'files); a ratio is the median of the rounds\' own ratios')
    bench.print_table()


if __name__ == '__main__':
    main()
