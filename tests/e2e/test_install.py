"""Install mode as an installer uses it: a real parent program in a directory of its own starts
the release launcher with --install from the directory being installed, and waits for it.

Taking over the installer's files needs Wine to read the parent's module list, which Wine under
qemu-user cannot do; there, the checks of the copies are skipped and the rest still runs (the
in-process tests cover the copies with a stand-in module list).
"""

import shutil
import subprocess
import unittest

from harness import (WineTestCase, make_installation, read_standin_log, standin, windows_path)

IMPORT_FILES = ('services.xml', 'connections.xml')
SETUP_START = ('.\\Setup.exe', 0)  # command line and creation flags


class InstallMode(WineTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        probe = subprocess.run(['wine', str(standin('installer')), '--can-read-modules'],
                               env=cls.prefix.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        cls.modules_readable = probe.returncode == 0

    def require_module_lists(self):
        if not self.modules_readable:
            self.skipTest("this Wine cannot read a process's module list (qemu-user)")

    def make_scene(self, installer_files=IMPORT_FILES, setup=True, launcher_name='VTConsole.exe',
                   installer_dir=None):
        """The installer with its files, the installed application, and the directory being
        installed (the launcher's current directory), holding Setup.exe and a conf folder."""
        self.installer = installer_dir or self.root / 'installer'
        self.installer.mkdir(parents=True)
        shutil.copy(standin('installer'), self.installer / 'installer.exe')
        for name in installer_files:
            (self.installer / name).write_text(f"installer's {name}")
        self.app = make_installation(self.root, client=False, launcher_name=launcher_name)
        self.launcher_name = launcher_name
        self.target = self.root / 'target'
        (self.target / 'conf').mkdir(parents=True)
        if setup:
            shutil.copy(standin('setup'), self.target / 'Setup.exe')

    def install(self, setup_sleep_ms=500):
        command = [windows_path(self.target), windows_path(self.app / self.launcher_name),
                   '--install']
        return self.prefix.run(self.installer / 'installer.exe', command, cwd=self.installer,
                               env={'VT_STANDIN_LOG': windows_path(self.client_log),
                                    'VT_SETUP_SLEEP_MS': str(setup_sleep_ms)})

    def records(self, event):
        return [r for r in read_standin_log(self.client_log) if r['event'] == event]

    def assert_setup_ran_in_the_target(self, run):
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.directory_changes, [])
        self.assertIn(SETUP_START, run.process_starts)
        [started] = self.records('started')
        self.assertEqual(started['program'], 'Setup.exe')
        self.assertEqual(started['command_line'], '.\\Setup.exe')
        self.assertEqual(started['directory'], windows_path(self.target))

    def assert_taken_over(self, copied, own=()):
        for name in IMPORT_FILES:
            with self.subTest(file=name):
                if name in own:
                    self.assertEqual((self.target / name).read_text(), f'own {name}')
                elif name in copied:
                    self.assertEqual((self.target / name).read_text(), f"installer's {name}")
                else:
                    self.assertFalse((self.target / name).exists())
                self.assertFalse((self.target / 'conf' / name).exists())
                self.assertFalse((self.app / name).exists())

    def test_launcher_ends_only_after_setup_has_ended(self):
        self.make_scene()
        run = self.install(setup_sleep_ms=2000)
        self.assert_setup_ran_in_the_target(run)
        [ended] = self.records('ended')
        [waited] = self.records('waited')
        # Setup's own exit code (3) does not become the launcher's.
        self.assertLess(ended['seconds'], waited['seconds'])

    def test_without_setup_program_ends_at_once_with_zero(self):
        self.make_scene(setup=False)
        run = self.install()
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertIn(SETUP_START, run.process_starts)
        self.assertEqual(self.records('started'), [])
        if self.modules_readable:
            self.assert_taken_over(copied=IMPORT_FILES)

    def test_takes_over_the_installers_files_that_are_missing_here(self):
        cases = (
            ('both', IMPORT_FILES, (), IMPORT_FILES),
            ('services only', ('services.xml',), (), ('services.xml',)),
            ('connections only', ('connections.xml',), (), ('connections.xml',)),
            ('neither', (), (), ()),
            ('existing connections.xml stays', IMPORT_FILES, ('connections.xml',),
             ('services.xml',)),
        )
        for name, beside_installer, own, copied in cases:
            with self.subTest(name):
                shutil.rmtree(self.root, ignore_errors=True)
                self.root.mkdir()
                self.make_scene(installer_files=beside_installer)
                for own_name in own:
                    (self.target / own_name).write_text(f'own {own_name}')
                run = self.install(setup_sleep_ms=0)
                self.assert_setup_ran_in_the_target(run)
                if self.modules_readable:
                    self.assert_taken_over(copied, own)
        self.require_module_lists()

    def test_updater_named_launcher_keeps_the_inherited_directory(self):
        self.make_scene(launcher_name='VTC_upd.exe')
        run = self.install(setup_sleep_ms=0)
        self.assert_setup_ran_in_the_target(run)
        # No update stage ran: it would have written VTConsole.exe beside the updater copy.
        self.assertFalse((self.app / 'VTConsole.exe').exists())
        self.require_module_lists()
        self.assert_taken_over(copied=IMPORT_FILES)

    def test_name_that_does_not_fit_after_the_installers_directory_is_skipped(self):
        # The installer's directory with its backslash is 245 characters: "services.xml" fits in
        # the 260-byte path, "connections.xml" does not, and a cut path would name the decoy.
        room = 245 - len(windows_path(self.root)) - 2
        deep = self.root / ('i' * (room // 2)) / ('j' * (room - room // 2 - 1))
        self.assertEqual(len(windows_path(deep)) + 1, 245)
        self.make_scene(installer_dir=deep)
        (deep / 'connections.xm').write_text('cut')
        run = self.install(setup_sleep_ms=0)
        self.assert_setup_ran_in_the_target(run)
        self.require_module_lists()
        self.assert_taken_over(copied=('services.xml',))


if __name__ == '__main__':
    unittest.main()
