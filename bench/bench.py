"""Measures the launcher against floor programs that do only the unavoidable work, side by side
in one run under Wine, and prints one table: figure, launcher, floor, ratio, target, verdict.

usage: bench.py [RUNS]   (run by script/bench; at least 5 runs of each side)
"""

import os
import shutil
import statistics
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'tests' / 'e2e'))

import pe  # noqa: E402
from harness import (BUILD_DIR, LAUNCHER, WinePrefix, make_installation,  # noqa: E402
                     read_standin_log, windows_path)

MAIN, DEMO = ('main.veltrix.example', '198.51.100.10'), ('demo.veltrix.example', '198.51.100.20')
ROOT = BUILD_DIR / 'bench'


def connection_list(count, numeric_hosts):
    """count connections; the first numeric_hosts have distinct numeric hosts, two of them the
    servers' addresses; the rest have host names."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<connections>']
    for i in range(count):
        if i == 0:
            host = MAIN[1]
        elif i == 1:
            host = DEMO[1]
        elif i < numeric_hosts:
            host = f'10.{i // 65536}.{i // 256 % 256}.{i % 256}'
        else:
            host = f'site{i}.example.com'
        lines += [f'  <connection name="Site {i}">', f'    <host>{host}</host>',
                  '    <port>443</port>', '  </connection>']
    lines.append('</connections>')
    return '\r\n'.join(lines) + '\r\n'


def hosts_file(lines):
    return ''.join(f'172.16.{i // 256 % 256}.{i % 256} host{i}.corp\r\n' for i in range(lines))


class Bench:
    def __init__(self, runs):
        self.runs = runs
        self.prefix = WinePrefix(path=ROOT / 'wine')
        self.rows = []

    def run_program(self, program, arguments, cwd):
        # Both servers' names resolve, from the run's own hosts file.
        run = self.prefix.run(program, arguments, cwd=cwd, resolve=(MAIN[0], DEMO[0]),
                              env={'WINEDEBUG': '-all'}, capture=True)
        if run.exit_code != 0:
            raise RuntimeError(f'{program} {arguments} ended with {run.exit_code}')
        return float(run.output.split()[-1])

    def start_seconds(self, app, program, log):
        started = self.run_program(BUILD_DIR / 'bench_starter.exe', [f'.\\{program}'], app)
        [record] = read_standin_log(log)
        log.unlink()
        return record['seconds'] - started

    def figure_start(self):
        app = make_installation(ROOT / 'start')
        (app / 'conf/connections.xml').write_text(connection_list(20, 10), newline='')
        shutil.copy(BUILD_DIR / 'bench_floor_start.exe', app / 'floor.exe')
        log = ROOT / 'start' / 'standin.log'
        os.environ['VT_STANDIN_LOG'] = windows_path(log)
        self.prefix.env['VT_STANDIN_LOG'] = windows_path(log)
        # The first start rewrites the list and adds the hosts entries; every later start, the
        # one a user makes each day, finds them done.
        self.start_seconds(app, 'VTConsole.exe', log)
        launcher, floor = [], []
        for _ in range(self.runs):
            launcher.append(self.start_seconds(app, 'VTConsole.exe', log))
            floor.append(self.start_seconds(app, 'floor.exe', log))
        self.add('start to client (20 connections)', launcher, floor, 1.10)

    def figure_merge(self, files, directories):
        app = make_installation(ROOT / f'merge-{files}', client=False)
        per_directory = files // directories

        def lay_out_tree():
            for d in range(directories):
                shutil.rmtree(app / f'dir{d}', ignore_errors=True)
                folder = app / 'patches' / f'dir{d}'
                folder.mkdir(parents=True)
                for f in range(per_directory):
                    (folder / f'file{f}.dat').write_bytes(b'x' * 64)

        launcher, floor = [], []
        for _ in range(self.runs):
            lay_out_tree()
            launcher.append(self.run_program(BUILD_DIR / 'bench_merge.exe',
                                             [windows_path(app) + '\\'], app))
            lay_out_tree()
            floor.append(self.run_program(BUILD_DIR / 'bench_floor_merge.exe',
                                          [windows_path(app)], app))
        target = 2.0 if files == 1000 else None
        self.add(f'patch merge ({files} files, {directories} dirs)', launcher, floor, target)

    def figure_rewrite(self, hosts_lines=1000, runs=None, add=True):
        app = make_installation(ROOT / 'rewrite', client=False)
        listing = connection_list(5000, 1000)
        addresses = [f'10.{i // 65536}.{i // 256 % 256}.{i % 256}' for i in range(2, 1000)]
        hosts = self.prefix.hosts_file

        def reset():
            (app / 'conf/connections.xml').write_text(listing, newline='')
            hosts.write_text(hosts_file(hosts_lines), newline='')

        launcher, floor = [], []
        for _ in range(runs or self.runs):
            reset()
            launcher.append(self.run_program(BUILD_DIR / 'bench_rewrite.exe', [], app))
            reset()
            floor.append(self.run_program(BUILD_DIR / 'bench_floor_rewrite.exe', addresses, app))
        if add:
            self.add(f'connection rewrite (5000 conns, hosts {hosts_lines} lines)', launcher,
                     floor, None)
        return min(launcher)

    def figure_size(self):
        image = pe.PeFile(LAUNCHER.read_bytes())
        size = LAUNCHER.stat().st_size
        without = size - image.section('.rsrc').raw_size
        self.rows.append(('size, whole (bytes)', f'{size}', '', '', '', ''))
        verdict = 'ok' if without <= 48 * 1024 else 'MISSED'
        self.rows.append(('size without resources (bytes)', f'{without}', '57000 / 62000',
                          f'{without / 57000:.2f}', '<= 49152', verdict))

    def add(self, figure, launcher, floor, target):
        ratio = min(launcher) / min(floor)
        verdict = '' if target is None else ('ok' if ratio <= target else 'MISSED')
        self.rows.append((figure, f'{min(launcher) * 1000:.1f} / {statistics.median(launcher) * 1000:.1f}',
                          f'{min(floor) * 1000:.1f} / {statistics.median(floor) * 1000:.1f}',
                          f'{ratio:.2f}', f'<= {target:.2f}' if target else 'report', verdict))

    def print_table(self):
        header = ('figure', 'launcher ms (min / median)', 'floor ms (min / median)', 'ratio',
                  'target', 'verdict')
        rows = [header] + self.rows
        widths = [max(len(row[i]) for row in rows) for i in range(len(header))]
        for row in rows:
            print('  '.join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    shutil.rmtree(ROOT, ignore_errors=True)
    ROOT.mkdir(parents=True)
    bench = Bench(runs)
    bench.prefix.start()
    try:
        bench.figure_start()
        bench.figure_merge(1000, 50)
        bench.figure_merge(5000, 1)
        bench.figure_rewrite()
        growth = [(lines, bench.figure_rewrite(lines, runs=1, add=False))
                  for lines in (1000, 2000, 4000)]
        bench.figure_size()
        costs = bench.prefix.run(BUILD_DIR / 'bench_op_costs.exe', [], cwd=ROOT,
                                 env={'WINEDEBUG': '-all'}, capture=True)
    finally:
        bench.prefix.stop()
    print(f'Wine {os.popen("wine --version").read().strip()}, {os.cpu_count()} cores, '
          f'{runs} runs of each side; ratio of the minimums')
    bench.print_table()
    print('patch merge, cost of each operation here:')
    for line in costs.output.splitlines():
        print(f'  {line}')
    print('connection rewrite by hosts file size: ' +
          ', '.join(f'{lines} lines {seconds * 1000:.0f} ms' for lines, seconds in growth))


if __name__ == '__main__':
    main()
