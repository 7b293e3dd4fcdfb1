#!/usr/bin/env python3
"""Reads what each test runner itself reported, from ctest's JUnit reports, and gives the verdict.

An exit code can be lost on the way (a runner started through Wine, a program that crashes
after it has printed its failures), so a ctest entry counts as passed only when ctest saw it
pass and its runner's own report says so: GoogleTest's "[==========] Running N tests" that ends
in "[  PASSED  ]" with no "[  FAILED  ]" test, unittest's "Ran N tests" with "OK", or libFuzzer's
"Done N runs". An entry whose output holds none of these failed: it never finished. A run whose
report is missing or not whole, or holds another number of entries than the tests it had to
run, failed too, with each entry it lacks counted as failed. Test cases are counted across every
level; a skipped one is counted as skipped, never as passed.

    read_reports.py REPORT TESTS [REPORT TESTS]...
        REPORT: one ctest run's JUnit report (--output-junit), "native" in its name for a
        native build folder; TESTS: how many tests it must hold (ctest -N's "Total Tests" with
        the run's arguments). Prints what failed or was skipped and the summary line, and ends
        with exit code 1 when anything failed.
"""

import re
import sys
from dataclasses import dataclass, field
from pathlib import Path
from xml.etree import ElementTree

LEVELS = ('native', 'fuzz', 'in-process', 'end to end', 'release')


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
    if entry.failed_cases:
        entry.problem = f'{len(entry.failed_cases)} of {entry.cases} GoogleTest tests failed'
    elif not re.search(r'^\[  PASSED  \] \d+ tests?\.', out, re.M):
        entry.problem = 'GoogleTest did not finish'


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
    else:
        entry.problem = 'no report of its tests: the runner did not finish'
    if not entry.problem and entry.cases == 0:
        entry.problem = 'ran no test'
    if not entry.problem and not entry.ctest_passed:
        entry.problem = 'its report says passed, but it ended with a failure'


def main(arguments):
    if not arguments or len(arguments) % 2:
        sys.exit(__doc__)
    entries, lacking = [], []  # why a run failed, and how many entries that counts as
    for report, tests in zip(arguments[::2], arguments[1::2]):
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
        for entry in found:
            entry.level = level_of(entry.name, native)
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
