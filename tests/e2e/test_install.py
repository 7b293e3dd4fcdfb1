"""Install mode under real installers, built at test time (installers.py): NSIS installers, 32-bit
and 64-bit, that install the release launcher and a Setup stand-in and run the launcher with
--install from the folder being installed, waiting for it; and a Windows Installer package whose
custom action does the same. The site's services.xml and connections.xml lie beside the installer
or the package. The prefix runs 32-bit and 64-bit programs.
"""

import unittest

from harness import WineTestCase, read_standin_log, windows_path
from installers import build_nsis_installer, build_package

IMPORT_FILES = ('services.xml', 'connections.xml')
SETUP_START = ('.\\Setup.exe', 0)  # command line and creation flags


class InstallMode(WineTestCase):

    def setUp(self):
        super().setUp()
        self.target = self.root / 'target'  # the folder being installed

    def prepare(self, site_files=IMPORT_FILES, own=(), folder=None):
        """The site's files in the installer's folder, and the folder being installed with files
        of its own and a conf folder; returns the installer's folder."""
        folder = folder or self.root / 'installer'
        folder.mkdir(parents=True)
        for name in site_files:
            (folder / name).write_text(f"installer's {name}")
        (self.target / 'conf').mkdir(parents=True)
        for name in own:
            (self.target / name).write_text(f'own {name}')
        return folder

    def install(self, arch='x86', folder=None, setup_sleep_ms=0, **options):
        """Builds the NSIS installer for arch in folder and runs it silently into the target."""
        installer = build_nsis_installer((folder or self.prepare()) / f'{arch}.exe', arch,
                                         **options)
        return self.prefix.run(installer, ['/S', f'/D={windows_path(self.target)}'], cwd=self.root,
                               env={'VT_STANDIN_LOG': windows_path(self.client_log),
                                    'VT_SETUP_SLEEP_MS': str(setup_sleep_ms)})

    def records(self, event, log=None):
        return [r for r in read_standin_log(log or self.client_log) if r['event'] == event]

    def assert_setup_ran_in_the_target(self, run):
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertIn(SETUP_START, run.process_starts)
        [started] = self.records('started')
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

    def test_launcher_ends_only_after_setup_has_ended(self):
        run = self.install(setup_sleep_ms=2000)
        self.assert_setup_ran_in_the_target(run)
        # The log as it stood when ExecWait returned; Setup's own exit code (3) was not passed on.
        self.assertEqual(len(self.records('ended', self.root / 'standin.log.at-return')), 1)

    def test_without_setup_program_ends_at_once_with_zero(self):
        run = self.install('amd64', setup=False)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertIn(SETUP_START, run.process_starts)
        self.assertEqual(self.records('started'), [])
        self.assert_taken_over(copied=IMPORT_FILES)

    def test_takes_over_the_installers_files_that_are_missing_here(self):
        # A 32-bit launcher reads a 32-bit installer's module list, and asks a 64-bit one itself.
        cases = (
            ('both, x86', 'x86', IMPORT_FILES, (), IMPORT_FILES),
            ('both, amd64', 'amd64', IMPORT_FILES, (), IMPORT_FILES),
            ('services only', 'x86', ('services.xml',), (), ('services.xml',)),
            ('connections only', 'amd64', ('connections.xml',), (), ('connections.xml',)),
            ('neither', 'x86', (), (), ()),
            ('existing connections.xml stays', 'amd64', IMPORT_FILES, ('connections.xml',),
             ('services.xml',)),
        )
        for name, arch, beside_installer, own, copied in cases:
            with self.subTest(name):
                self.setUp()
                run = self.install(arch, self.prepare(beside_installer, own))
                self.assert_setup_ran_in_the_target(run)
                self.assert_taken_over(copied, own)

    def test_updater_named_launcher_keeps_the_inherited_directory(self):
        run = self.install(launcher_name='VTC_upd.exe')
        self.assert_setup_ran_in_the_target(run)
        # No update stage ran: it would have written VTConsole.exe beside the updater copy.
        self.assertFalse((self.target / 'VTConsole.exe').exists())
        self.assert_taken_over(copied=IMPORT_FILES)

    def test_name_that_does_not_fit_after_the_installers_directory_is_skipped(self):
        # The installer's directory with its backslash is 245 characters: "services.xml" fits in
        # the 260-byte path, "connections.xml" does not, and a cut path would name the decoy.
        room = 245 - len(windows_path(self.root)) - 2
        deep = self.root / ('i' * (room // 2)) / ('j' * (room - room // 2 - 1))
        self.assertEqual(len(windows_path(deep)) + 1, 245)
        self.prepare(folder=deep)
        (deep / 'connections.xm').write_text('cut')
        for arch in ('x86', 'amd64'):
            with self.subTest(arch):
                for name in IMPORT_FILES:
                    (self.target / name).unlink(missing_ok=True)
                self.assert_setup_ran_in_the_target(self.install(arch, deep))
                self.client_log.unlink()
                self.assert_taken_over(copied=('services.xml',))

    def test_windows_installer_package_is_not_the_launchers_parent_in_the_sites_folder(self):
        # The custom action runs the launcher in the installed folder, as a child of msiexec.exe
        # in the system folder: install mode takes nothing over from beside the package. A
        # package brings the site's files itself, before the launcher runs.
        for bring_site_files in (False, True):
            with self.subTest(bring_site_files=bring_site_files):
                self.setUp()
                folder = self.prepare()
                package = build_package(folder / 'vtconsole.msi', bring_site_files)
                run = self.prefix.run('msiexec', ['/i', windows_path(package), '/qn',
                                                  f'INSTALLDIR={windows_path(self.target)}\\'],
                                      cwd=self.root, env={'VT_STANDIN_LOG':
                                                          windows_path(self.client_log),
                                                          'VT_SETUP_SLEEP_MS': '0'})
                self.assert_setup_ran_in_the_target(run)
                self.assert_taken_over(copied=IMPORT_FILES if bring_site_files else ())


if __name__ == '__main__':
    unittest.main()
