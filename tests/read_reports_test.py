"""The verdict of every test run: each rule of read_reports.py, seen to turn a run red."""

import contextlib
import io
import tempfile
import unittest
from pathlib import Path
from xml.sax.saxutils import escape

import read_reports

GTEST_PASSED = ('[==========] Running 1 test from 1 test suite.\n[ RUN      ] A.b\n'
                '[       OK ] A.b (5 ms)\n[==========] 1 test ran.\n[  PASSED  ] 1 test.\n')
GTEST_IN_SWEEP = ('[==========] Running 2 tests from 1 test suite.\n[ RUN      ] A.b\n'
                  '[       OK ] A.b (5 ms)\n[ RUN      ] Sweep.c\n')
UNITTEST_IN_CASE = ('test_a (test_launch.Launch.test_a) ... ok\n'
                    'test_b (test_launch.Launch.test_b)\nStarts twice. ... ')
CRASHES = {'Unhandled page fault on write access to 00000000 at address 00401628 (thread 0024)':
           'wine: {}, starting debugger...\n',
           'uncaught target signal 11 (Segmentation fault)': 'qemu: {} - core dumped\n'}


class Verdict(unittest.TestCase):
    def verdict(self, entries, tests=None, log=''):
        """Runs read_reports on one ctest run of entries {name: (ctest passed, output)}; returns
        its exit code and what it printed."""
        folder = Path(self.enterContext(tempfile.TemporaryDirectory()))
        cases = ''.join(f'<testcase name="{name}" status="{"run" if ok else "fail"}">'
                        f'<system-out>{escape(out)}</system-out></testcase>'
                        for name, (ok, out) in entries.items())
        (folder / 'release.xml').write_text(f'<testsuite>{cases}</testsuite>')
        (folder / 'release.log').write_text(log)
        printed = io.StringIO()
        with contextlib.redirect_stdout(printed):
            code = read_reports.main([str(folder / 'release.xml'), str(folder / 'release.log'),
                                      str(len(entries) if tests is None else tests)])
        return code, printed.getvalue()

    def test_a_whole_run_passes(self):
        self.assertEqual(self.verdict({'wine_tests': (True, GTEST_PASSED)}),
                         (0, 'ctest: 1 passed, 0 failed (1 test cases: 1 in-process; '
                             '0 failed, 0 skipped)\n'))

    def test_a_report_one_entry_short_fails(self):
        code, printed = self.verdict({'wine_tests': (True, GTEST_PASSED)}, tests=2)
        self.assertEqual(code, 1)
        self.assertIn('reports 1 of its 2 tests', printed)
        self.assertIn('ctest: 1 passed, 1 failed', printed)

    def test_a_runner_that_never_finished_fails_with_its_case(self):
        code, printed = self.verdict({'fault_sweep': (True, GTEST_IN_SWEEP)})
        self.assertEqual(code, 1)
        self.assertIn('FAILED fault_sweep: never finished Sweep.c', printed)
        self.assertIn('ctest: 0 passed, 1 failed (2 test cases: 2 in-process; 1 failed,', printed)

    def test_a_timeout_names_the_entry_and_its_case(self):
        log = ('1/2 Test #2: e2e_test_launch ..........***Timeout 900.02 sec\n'
               '2/2 Test #1: fault_sweep ..............   Passed  50.10 sec\n')
        code, printed = self.verdict({'e2e_test_launch': (False, UNITTEST_IN_CASE),
                                      'fault_sweep': (True, GTEST_PASSED)}, log=log)
        self.assertEqual(code, 1)
        self.assertIn('FAILED e2e_test_launch: stopped at its time limit after 900 s; '
                      'never finished test_b\n    test_b (never finished)\n', printed)
        self.assertIn('ctest: 1 passed, 1 failed (3 test cases: 1 in-process, 2 end to end; '
                      '1 failed,', printed)

    def test_a_crash_names_the_exception_and_its_address(self):
        for crash, words in CRASHES.items():
            output = GTEST_IN_SWEEP + words.format(crash)
            code, printed = self.verdict({'fault_sweep': (False, output)})
            self.assertEqual(code, 1)
            self.assertIn(f'FAILED fault_sweep: crashed: {crash}; never finished Sweep.c', printed)


if __name__ == '__main__':
    unittest.main()
