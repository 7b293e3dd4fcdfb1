#!/usr/bin/env python3
"""Reads what each test runner itself reported, from ctest's JUnit reports, and gives the verdict.

An exit code can be lost on the way (a runner started through Wine, a program that crashes
after it has printed its failures), so a ctest entry counts as passed only when ctest saw it
pass and its runner's own report says so: GoogleTest's "[==========] Running N tests" that ends
in "[  PASSED  ]" with no "[  FAILED  ]" test, unittest's "Ran N tests" with "OK", or libFuzzer's
"Done N runs". An entry whose output holds none of these failed: it never finished. An entry
that ctest stopped at its time limit, or whose program crashed, says so on its own line, with the
test case it was in, which counts as a failed case. A run whose report is missing or not whole,
or holds another number of entries than the tests it had to run, failed too, with each entry it
lacks counted as failed. Test cases are counted across every level; a skipped one is counted as
skipped, never as passed.

    read_reports.py REPORT LOG TESTS [REPORT LOG TESTS]...
        REPORT: one ctest run's JUnit report (--output-junit), "native" in its name for a
        native build folder; LOG: the same run's console log (--output-log), which alone says
        which entries ctest stopped at their time limit or saw crash; TESTS: how many tests it
        must hold (ctest -N's "Total Tests" with the run's arguments). Prints what failed or was
        skipped and the summary line, and ends with exit code 1 when anything failed.
"""

import re
import sys
from dataclasses import dataclass, field
from pathlib import Path
from xml.etree import ElementTree

LEVELS = ('native', 'fuzz', 'in-process', 'end to end', 'release')
# unittest -v's line for a case it starts: its name, its full name, the first line of its
# docstring where it has one, and " ... ", which the case's outcome follows when it ends.
UNITTEST_START = r'^(\w+) \([\w.]+\)(?:\n.*?)? \.\.\. '


@dataclass
class Entry:
    name: str
    ctest_passed: bool
    output: str
    level: str = ''
    cases: int = 0
    failed_cases: list = field(default_factory=list)
    skipped_cases: list = field(default_factory=list)
    problem: str = ''  # why the entry counts as failed, when it does
    ended: str = ''  # how ctest saw it end, where that was not the program's own exit

    @property
    def passed(self):
        return not self.problem


def read_report(report):
    """The entries of a ctest run's JUnit report; a ValueError says why there are none."""
    if not Path(report).is_file():
        raise ValueError(f'no report at {report}')
    try:
        suite = ElementTree.parse(report).getroot()
    except ElementTree.ParseError as error:
        raise ValueError(f'{report} is not a whole report: {error}') from None
    return [Entry(case.get('name'), case.get('status') == 'run', case.findtext('system-out', ''))
            for case in suite.iter('testcase')]


def read_endings(log):
    """{entry: how it ended} for the entries that ctest's console log shows stopped at their time
    limit or ended by a signal or an exception."""
    if not Path(log).is_file():
        return {}
    endings = {}
    for name, how, seconds in re.findall(
            r'^\s*\d+/\d+ Test +#\d+: (\S+) \.*\*\*\*(Timeout|Exception: [^\n]*?) +([\d.]+) sec',
            Path(log).read_text(errors='replace'), re.M):
        endings[name] = (f'stopped at its time limit after {float(seconds):.0f} s'
                         if how == 'Timeout' else f'ended by {how.lower()}')
    return endings


def level_of(name, native):
    if name.startswith('fuzz_'):
        return 'fuzz'
    if name.startswith('e2e_'):
        return 'end to end'
    if name.startswith('release_'):
        return 'release'
    return 'native' if native else 'in-process'


def judge_googletest(entry):
    out = entry.output
    entry.cases = int(re.findall(r'^\[==========\] Running (\d+) tests? ', out, re.M)[-1])
    entry.failed_cases = sorted(set(re.findall(r'^\[  FAILED  \] (\S+\.\S+)', out, re.M)))
    entry.skipped_cases = sorted(set(re.findall(r'^\[  SKIPPED \] (\S+\.\S+)', out, re.M)))
    started = re.findall(r'^\[ RUN      \] (\S+)', out, re.M)
    ended = re.findall(r'^\[(?:       OK |  FAILED  |  SKIPPED )\] (\S+) \(', out, re.M)
    unfinished = [case for case in started if case not in ended]
    if unfinished:
        entry.failed_cases.append(f'{unfinished[-1]} (never finished)')
        entry.problem = f'never finished {unfinished[-1]}'
    elif entry.failed_cases:
        entry.problem = f'{len(entry.failed_cases)} of {entry.cases} GoogleTest tests failed'
    elif not re.search(r'^\[  PASSED  \] \d+ tests?\.', out, re.M):
        entry.problem = 'GoogleTest did not finish'


def judge_unfinished_unittest(entry):
    """A unittest run that never gave its count: the case it was in when it stopped."""
    started = re.findall(UNITTEST_START, entry.output, re.M)
    entry.cases = len(started)
    entry.failed_cases = [f'{started[-1]} (never finished)']
    entry.problem = f'never finished {started[-1]}'


def judge_unittest(entry):
    out = entry.output
    entry.cases = int(re.findall(r'^Ran (\d+) tests? in ', out, re.M)[-1])
    entry.failed_cases = re.findall(r'^(?:FAIL|ERROR): (\S+)', out, re.M)
    entry.skipped_cases = [f'{name}: {reason}' for name, reason in
                           re.findall(r'^(\w+) \(.*\) \.\.\. skipped (.*)$', out, re.M)]
    verdict = re.findall(r'^(OK|FAILED)(?: \((.*)\))?$', out, re.M)
    if not verdict:
        entry.problem = 'unittest gave no verdict'
    elif verdict[-1][0] == 'FAILED':
        entry.problem = f'unittest: FAILED ({verdict[-1][1]})'


def judge_fuzzer(entry):
    entry.cases = 1
    if re.search(r'^==\d+==ERROR|^SUMMARY: ', entry.output, re.M):
        entry.failed_cases = [entry.name]
        entry.problem = 'the fuzzer found a fault'


def judge(entry):
    """Reads the entry's report; a run that ctest saw fail fails whatever its report says."""
    out = entry.output
    if re.search(r'^\[==========\] Running \d+ tests? ', out, re.M):
        judge_googletest(entry)
    elif re.search(r'^Ran \d+ tests? in ', out, re.M):
        judge_unittest(entry)
    elif re.search(r'^Done \d+ runs in ', out, re.M):
        judge_fuzzer(entry)
    elif re.search(UNITTEST_START, out, re.M):
        judge_unfinished_unittest(entry)
    else:
        entry.problem = 'no report of its tests: the runner did not finish'
    # Wine's words for a Windows program that died of an exception, with its address, or
    # qemu's, where the emulated process died before Wine could say it.
    crash = re.search(r'(?:wine: (Unhandled .*?)(?:, starting debugger\.\.\.)?'
                      r'|^qemu: (uncaught target signal .*?)(?: - core dumped)?)$', out, re.M)
    if crash or entry.ended:
        entry.problem = '; '.join(filter(None, [
            entry.ended, crash and f'crashed: {crash.group(1) or crash.group(2)}',
            entry.problem]))
    if not entry.problem and entry.cases == 0:
        entry.problem = 'ran no test'
    if not entry.problem and not entry.ctest_passed:
        entry.problem = 'its report says passed, but it ended with a failure'


def main(arguments):
    if not arguments or len(arguments) % 3:
        sys.exit(__doc__)
    entries, lacking = [], []  # why a run failed, and how many entries that counts as
    for report, log, tests in zip(arguments[::3], arguments[1::3], arguments[2::3]):
        expected = int(tests) if tests.isdigit() else None
        try:
            found = read_report(report)
        except ValueError as error:
            lacking.append((str(error), max(expected or 0, 1)))
            continue
        if expected is None:
            lacking.append((f'{report}: unknown number of tests to report ("{tests}")', 1))
        elif len(found) != expected:
            lacking.append((f'{report} reports {len(found)} of its {expected} tests',
                            max(expected - len(found), 1)))
        native = 'native' in Path(report).name
        endings = read_endings(log)
        for entry in found:
            entry.level = level_of(entry.name, native)
            entry.ended = endings.get(entry.name, '')
            judge(entry)
            entries.append(entry)

    for entry in entries:
        for skipped in entry.skipped_cases:
            print(f'skipped in {entry.name}: {skipped}')
        if entry.passed:
            continue
        if entry.ctest_passed:  # ctest showed nothing of it: show its output here
            print(f'---- output of {entry.name}, which ctest reported as passed')
            print(entry.output.rstrip())
            print('----')
        print(f'FAILED {entry.name}: {entry.problem}')
        for case in entry.failed_cases:
            print(f'    {case}')
    for entry in entries:
        for sweep in re.findall(r'^fault sweep.*$', entry.output, re.M):
            print(sweep)

    passed = sum(entry.passed for entry in entries)
    failed = len(entries) - passed + sum(count for _, count in lacking)
    for why, _ in lacking:
        print(f'FAILED: {why}')
    per_level = {level: sum(e.cases for e in entries if e.level == level) for level in LEVELS}
    cases = sum(per_level.values())
    skipped = sum(len(e.skipped_cases) for e in entries)
    failed_cases = sum(len(e.failed_cases) for e in entries)
    levels = ', '.join(f'{n} {level}' for level, n in per_level.items() if n)
    print(f'ctest: {passed} passed, {failed} failed ({cases} test cases: {levels}; '
          f'{failed_cases} failed, {skipped} skipped)')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
