"""The launcher and an installer in a folder whose name the ANSI code page cannot spell.

The prefix runs with the ANSI code page 1252 (LANG=C.UTF-8), where the Polish and Cyrillic
letters of the folder have no place: a narrow path comes back with look-alikes and '?', which
name no folder, and only the short (8.3) form of the path, which Wine keeps, reaches it.
"""

import os
import shutil
import subprocess
import unittest

from harness import (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP, WinePrefix, WineTestCase,
                     make_installation, read_standin_log, standin, windows_path)
from installers import build_nsis_installer
from update_support import new_launcher_bytes, write_file

FOLDER = ('Zażółć gęślą', 'Вeltrix Console')
CLIENT_START = (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)
IMPORT_FILES = ('services.xml', 'connections.xml')


class FolderNames(WineTestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = WinePrefix('e2e-' + cls.__module__)
        cls.prefix.env.update(LANG='C.UTF-8', LC_ALL='C.UTF-8')
        cls.prefix.start()

    def winepath(self, option, path):
        return subprocess.run(['wine', 'winepath', option, path], env=self.prefix.env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              check=True, timeout=180).stdout.strip()

    def assert_same_folder(self, shown, folder):
        self.assertTrue(os.path.samefile(self.winepath('-u', shown), folder), shown)

    def unspellable_folder(self):
        """Makes the folder below the test's own and checks what the tests rely on: a program
        there gets a narrow path that names no folder, and the folder has a short name."""
        folder = self.root.joinpath(*FOLDER)
        folder.mkdir(parents=True)
        shutil.copy(standin('client'), folder / 'probe.exe')
        log = self.root / 'probe.log'
        self.prefix.run(folder / 'probe.exe', cwd=folder, env={'VT_STANDIN_LOG': windows_path(log)})
        [probe] = read_standin_log(log)
        # '?' stands for a letter that the code page lacks; no folder name holds one.
        self.assertIn('?', probe['directory'], 'the narrow path has every letter: nothing to test')
        (folder / 'probe.exe').unlink()
        short = self.winepath('-s', windows_path(folder))
        self.assertTrue(short.isascii() and '~' in short, f'no short name: {short}')
        return folder

    def test_normal_start_runs_the_client_in_that_folder(self):
        app = make_installation(self.unspellable_folder())

        run = self.launch(app, cwd=self.root)

        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [CLIENT_START])
        [start] = self.client_starts()
        self.assertEqual(start['program'], 'javaw.exe')
        self.assertTrue(start['directory'].isascii(), start['directory'])
        self.assert_same_folder(start['directory'], app)
        self.assertEqual((app / 'conf/connections.xml').read_bytes(),
                         (app / 'conf/default-connections.xml').read_bytes())

    def test_self_update_hands_over_through_all_three_processes(self):
        app = make_installation(self.unspellable_folder())
        new = new_launcher_bytes()
        write_file(app / 'patches/VTConsole.exe', new)
        write_file(app / 'patches/lib/vt-client.jar', 'new client')

        # Wine tells each process its long path, also the two started from the short folder, so
        # each of the three must find the short form itself.
        run = self.launch(app)

        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [('.\\VTC_upd.exe', CREATE_NEW_PROCESS_GROUP),
                                              ('.\\VTConsole.exe', CREATE_NEW_PROCESS_GROUP),
                                              CLIENT_START])
        self.assertEqual((app / 'VTConsole.exe').read_bytes(), new)
        self.assertEqual((app / 'lib/vt-client.jar').read_bytes(), b'new client')
        self.assertFalse((app / 'patches').exists())
        [start] = self.client_starts()
        self.assert_same_folder(start['directory'], app)

    def test_install_mode_takes_over_the_files_beside_the_installer(self):
        # A 64-bit installer, which the launcher asks for its path itself: Wine gives the long
        # path, and the launcher finds the short form.
        folder = self.unspellable_folder()
        for name in IMPORT_FILES:
            (folder / name).write_text(f"installer's {name}")
        installer = build_nsis_installer(folder / 'setup.exe', 'amd64')
        target = self.root / 'target'

        run = self.prefix.run(installer, ['/S', f'/D={windows_path(target)}'], cwd=self.root,
                              env={'VT_STANDIN_LOG': windows_path(self.client_log),
                                   'VT_SETUP_SLEEP_MS': '0'})

        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertIn(('.\\Setup.exe', 0), run.process_starts)
        for name in IMPORT_FILES:
            self.assertEqual((target / name).read_text(), f"installer's {name}")


if __name__ == '__main__':
    unittest.main()
