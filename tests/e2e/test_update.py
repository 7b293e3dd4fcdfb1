"""The self-update hand-over as a user meets it: one start of the old launcher with a new one
waiting in the patch tree, the stages that must wait for a file still in use, the start after a
hand-over that did not finish, and the order in which replaced files reach the disk."""

import os
import re
import shutil
import subprocess
import unittest
import uuid
from concurrent.futures import ThreadPoolExecutor, wait

from harness import (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP, FAILURE_MESSAGE, LAUNCHER,
                     RUN_TIMEOUT, WineTestCase, make_installation, read_account, windows_path)
from harness import _process_carries
from pe import PeFile
from update_support import holding, inventory, new_launcher_bytes, write_file

UPDATER_START = ('.\\VTC_upd.exe', CREATE_NEW_PROCESS_GROUP)
LAUNCHER_START = ('.\\VTConsole.exe', CREATE_NEW_PROCESS_GROUP)
CLIENT_START = (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)
# Wine turns a flush into an fsync of the file and a move into a rename.
TRACED_SYSCALLS = 'trace=fsync,fdatasync,rename,execve'


class UpdateHandOver(WineTestCase):

    def assert_client_started_once(self, app):
        [start] = self.client_starts()
        self.assertEqual(start['program'], 'javaw.exe')
        self.assertEqual(start['directory'], windows_path(app))

    def assert_waited_only_in_whole_seconds(self, run, most):
        self.assertEqual(set(run.sleeps) - {1000}, set())
        self.assertLessEqual(len(run.sleeps), most)

    def test_one_start_replaces_the_launcher_merges_the_tree_and_starts_the_client(self):
        app = make_installation(self.root)
        new = new_launcher_bytes()
        write_file(app / 'patches/VTConsole.exe', new)
        write_file(app / 'patches/lib/vt-client.jar', 'new client')
        write_file(app / 'patches/lib/ext/plugin.jar', 'plugin')
        write_file(app / 'update.bat', '@rem applied by the updater')
        before = inventory(app)
        # Someone put a second name of a file outside beside the launcher, under the name of
        # the copy written there: the copy must never be written into it.
        outside = self.root / 'system.dll'
        write_file(outside, 'system')
        os.link(outside, app / 'VTConsole.tmp')
        account = self.root / 'support' / 'VTConsole.log'
        account.parent.mkdir()

        run = self.launch(app, env={'VTCONSOLE_LOG': windows_path(account)})

        # One account for the three processes, each telling its road, whom it handed over to
        # and its exit code.
        lines = read_account(account)
        processes = list(dict.fromkeys(pid for pid, _ in lines))
        self.assertEqual([text.rsplit(': ', 1)[1] for _, text in lines
                          if text.startswith('VTConsole ')],
                         ['normal start', 'updater start', 'normal start'])
        for pid, successor in zip(processes, processes[1:]):
            self.assertTrue(any(p == pid and text.endswith(f' (process {successor})')
                                for p, text in lines), lines)
        self.assertEqual([text.split(' after ')[0] for _, text in lines if 'exit code' in text],
                         ['exit code 0'] * 3)
        self.assertIn('patch tree patches merged, files moved: 2', [text for _, text in lines])

        # Old launcher, updater copy, new launcher: each hands over to the next, the last one
        # starts the client.
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [UPDATER_START, LAUNCHER_START, CLIENT_START])
        self.assert_client_started_once(app)
        # Stage 2 may meet the old launcher still running, and waits for it.
        self.assert_waited_only_in_whole_seconds(run, 9)
        self.assertEqual(outside.read_bytes(), b'system')

        after = inventory(app)
        self.assertEqual(after.pop('VTConsole.exe'), new)
        # Deleting the updater copy while it is still running is refused outright (access
        # denied), and the copy is left for the next start; either way it is the new build.
        left_over = after.pop('VTC_upd.exe', None)
        self.assertIn(left_over, (None, new))
        expected = {name: content for name, content in before.items()
                    if not name.startswith('patches') and name not in ('update.bat',
                                                                       'VTConsole.exe')}
        expected.update({'lib/vt-client.jar': b'new client', 'lib/ext': None,
                         'lib/ext/plugin.jar': b'plugin'})
        for name in ('conf/connections.xml', 'conf/services.xml'):
            after.pop(name, None)  # made by the configuration steps of the normal start
        self.assertEqual(after, expected)

        if left_over is not None:
            run = self.launch(app)
            self.assertEqual(run.process_starts, [CLIENT_START])
            self.assertFalse((app / 'VTC_upd.exe').exists())

    def test_starts_in_quick_succession_each_end_as_a_start_alone_would(self):
        """A double-click repeated because nothing seemed to happen: three starts back to back
        while a patch tree waits, again while a new launcher waits too, again through two
        spellings of the folder (a second drive letter, as a mapped drive or subst gives), and
        300 ms apart while a new launcher waits and a name server is silent: the second start
        then keeps the old launcher in use for longer than 10 s. No start may fail for another
        having done the work first."""
        tree = {f'lib/ext{i % 6}/part{i}.jar': f'part {i}' for i in range(480)}
        drive = self.prefix.path / 'dosdevices/x:'
        self.addCleanup(drive.unlink, missing_ok=True)
        for new, spellings, silence in ((None, 1, 0), (new_launcher_bytes(), 1, 0), (None, 2, 0),
                                        (new_launcher_bytes(), 1, 6)):
            with self.subTest(new_launcher=bool(new), spellings=spellings, silence=silence):
                app = make_installation(self.root / f'{bool(new)}{spellings}{silence}')
                launcher = new or (app / 'VTConsole.exe').read_bytes()
                for name, content in tree.items():
                    write_file(app / 'patches' / name, content)
                if new:
                    write_file(app / 'patches/VTConsole.exe', new)
                write_file(app / 'update.bat', '@rem')
                self.prefix.hosts_file.write_bytes(b'127.0.0.1 localhost\r\n')
                self.client_log.unlink(missing_ok=True)
                drive.unlink(missing_ok=True)
                drive.symlink_to(app)

                account = app.parent / 'VTConsole.log'
                run, exit_codes = self.rush(app, 3, ('X:', windows_path(app))[:spellings],
                                            silent_dns=silence, env={
                                                'VTCONSOLE_LOG': windows_path(account),
                                                **({'VT_RUSH_GAP_MS': '300'} if silence else {})})

                self.assertEqual(exit_codes, [0, 0, 0])
                # Each line whole, and each process's lines from its start to its end.
                lines = read_account(account)
                for pid in {pid for pid, _ in lines}:
                    texts = [text for p, text in lines if p == pid]
                    self.assertRegex(texts[0], r'^VTConsole .*: (normal|updater) start$')
                    self.assertEqual([t for t in texts if t.startswith('exit')][-1:], texts[-1:])
                self.assertEqual(run.message_boxes, [])
                self.assertEqual(len(self.client_starts()), 3)
                after = inventory(app)
                self.assertEqual(after['VTConsole.exe'], launcher)
                self.assertEqual({name: after.get(name) for name in tree},
                                 {name: content.encode() for name, content in tree.items()})
                self.assertFalse({'patches', 'update.bat'} & set(after))
                # The sample list's one numeric host: one entry, however many starts met it.
                hosts = self.prefix.hosts_file.read_bytes()
                self.assertEqual(hosts.count(b'\r\n10.0.0.5 Plant-7.vt\r\n'), 1, hosts)

    def launch_traced(self, app, **options):
        """Runs the launcher under strace and returns the run and the traced calls in order, as
        (call, text of its arguments). The renames happen in Wine's server, so the module's
        server is ended for this run, and the run's first Wine process starts one under the
        trace."""
        probe = subprocess.run(['strace', '-f', '-o', '/dev/null', 'true'],
                               capture_output=True, text=True)
        if probe.returncode != 0:
            self.skipTest(f'strace cannot trace here: {probe.stderr.strip()}')
        trace = self.root / 'strace.log'
        self.prefix.stop()
        subprocess.run(['wineserver', '-w'], env=self.prefix.env, timeout=RUN_TIMEOUT)
        try:
            run = self.launch(app, wrapper=('strace', '--seccomp-bpf', '-f', '-y', '-o', str(trace),
                                            '-e', TRACED_SYSCALLS), **options)
        finally:
            self.prefix.start()
            # Wine's services start with the first process of a server and trace into its run:
            # one Wine process outside any run brings them up, as for the module's first test.
            subprocess.run(['wine', 'reg', 'query', r'HKCU\Software\Wine'], env=self.prefix.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
        calls = re.findall(r'^\d+ +(\w+)\((.*)$', trace.read_text(errors='replace'), re.M)
        self.assertTrue(any(name == 'execve' and 'wineserver' in arguments
                            for name, arguments in calls), "Wine's server ran outside the trace")
        return run, calls

    def test_both_replaced_files_are_on_disk_before_they_take_their_place(self):
        app = make_installation(self.root)
        new = new_launcher_bytes()
        write_file(app / 'patches/VTConsole.exe', new)
        connections = app / 'conf/connections.xml'

        run, calls = self.launch_traced(app, resolve=('main.veltrix.example',))

        self.assertEqual(run.exit_code, 0)
        self.assertEqual((app / 'VTConsole.exe').read_bytes(), new)
        self.assertIn(b'<host>main.veltrix.example</host>', connections.read_bytes())

        def first(names, *fragments):
            """Where the first traced call of one of names with every fragment in its arguments
            stands."""
            for at, (call, arguments) in enumerate(calls):
                if call in names and all(fragment in arguments for fragment in fragments):
                    return at
            self.fail(f'no {"/".join(names)} with {fragments} in the trace')

        tmp, xml, written, launcher = (f'{app.resolve()}/{name}' for name in (
            'conf/connections.tmp', 'conf/connections.xml', 'VTConsole.tmp', 'VTConsole.exe'))
        flush = ('fsync', 'fdatasync')
        self.assertLess(first(flush, f'{tmp}>'), first(('rename',), f'{tmp}"', f'{xml}"'))
        replaced = first(('rename',), f'{written}"', f'{launcher}"')
        self.assertLess(first(flush, f'{written}>'), replaced)
        self.assertLess(replaced, first(('execve',), '".\\\\VTConsole.exe"'))

    def test_updater_waits_for_a_launcher_held_about_two_seconds(self):
        app = make_installation(self.root)
        old = (app / 'VTConsole.exe').read_bytes()
        new = new_launcher_bytes()
        write_file(app / 'VTC_upd.exe', new)
        needle = f'VT_E2E_HOLD={uuid.uuid4().hex}'

        with holding(self.prefix, app / 'VTConsole.exe', self.root,
                     release_after_seen=(needle, 2.5)):
            self.assertEqual((app / 'VTConsole.exe').read_bytes(), old)
            run = self.launch(app, program='VTC_upd.exe', env=dict([needle.split('=')]))

        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertGreaterEqual(len(run.sleeps), 1, 'the copy never met the held file')
        self.assert_waited_only_in_whole_seconds(run, 9)
        self.assertEqual(run.process_starts, [LAUNCHER_START, CLIENT_START])
        self.assertEqual((app / 'VTConsole.exe').read_bytes(), new)
        self.assert_client_started_once(app)

    def assert_old_launcher_took_the_update_but_itself(self, run, app, old):
        """The start after a hand-over that did not finish: the updater copy is gone, the rest
        of the tree merged, and the client started by the old launcher."""
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [CLIENT_START])
        self.assertEqual((app / 'VTConsole.exe').read_bytes(), old)
        self.assertFalse((app / 'VTC_upd.exe').exists())
        self.assertFalse((app / 'patches').exists())
        self.assertEqual((app / 'lib/vt-client.jar').read_bytes(), b'new client')
        self.assertFalse((app / 'update.bat').exists())
        self.assert_client_started_once(app)

    def test_updater_gives_up_after_a_minute_and_the_next_start_keeps_the_old_launcher(self):
        app = make_installation(self.root)
        old = (app / 'VTConsole.exe').read_bytes()
        write_file(app / 'VTC_upd.exe', new_launcher_bytes())
        write_file(app / 'patches/lib/vt-client.jar', 'new client')
        write_file(app / 'update.bat', '@rem')
        before = inventory(app)

        with holding(self.prefix, app / 'VTConsole.exe', self.root):
            run = self.launch(app, program='VTC_upd.exe')

        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.message_boxes, [FAILURE_MESSAGE])
        self.assertEqual(run.sleeps, [1000] * 60)
        self.assertEqual(run.process_starts, [])
        self.assertEqual(self.client_starts(), [])
        self.assertEqual(inventory(app), before)  # the old launcher, and the updater copy left

        # The user starts the launcher again, the old one, which finds an updater copy that
        # differs from it: the copy is deleted, and the update of the launcher with it.
        run = self.launch(app)
        self.assert_old_launcher_took_the_update_but_itself(run, app, old)

    def test_updater_copy_that_cannot_start_fails_one_start_and_the_next_starts_the_client(self):
        app = make_installation(self.root)
        old = (app / 'VTConsole.exe').read_bytes()
        write_file(app / 'patches/VTConsole.exe', b'')  # a download cut to nothing
        write_file(app / 'patches/lib/vt-client.jar', 'new client')
        write_file(app / 'update.bat', '@rem')

        run = self.launch(app)

        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.message_boxes, [FAILURE_MESSAGE])
        self.assertEqual(run.process_starts, [UPDATER_START])
        self.assertEqual(self.client_starts(), [])
        self.assertEqual((app / 'VTC_upd.exe').read_bytes(), b'')

        run = self.launch(app)
        self.assert_old_launcher_took_the_update_but_itself(run, app, old)

    def test_updater_copy_ended_while_it_writes_leaves_a_launcher_that_starts(self):
        """A shutdown during the copy of a large new launcher leaves a launcher that starts."""
        app, section = make_installation(self.root), self.root / 'section'
        old, image, needle = LAUNCHER.read_bytes(), PeFile(LAUNCHER.read_bytes()), uuid.uuid4().hex
        section.write_bytes(bytes(150 << 20))  # in the image: the launcher runs only whole
        subprocess.run(['i686-w64-mingw32-objcopy', '--add-section', f'.large={section}',
                        '--set-section-flags', '.large=contents,alloc,load,readonly,data',
                        '--change-section-vma', f'.large={image.image_base + image.image_size:#x}',
                        LAUNCHER, app / 'VTC_upd.exe'], check=True)

        def partly_written():  # a copy of the new launcher begun and not finished
            return any(len(old) < entry.stat().st_size < 150 << 20
                       for entry in app.iterdir() if entry.name != 'VTC_upd.exe')
        with ThreadPoolExecutor() as pool:
            first = pool.submit(self.launch, app, program='VTC_upd.exe', env={'VT_E2E_END': needle})
            while not (partly_written() or wait([first], 0.002).done):
                pass
            updater = [pid for pid in os.listdir('/proc') if _process_carries(
                pid, f'VT_E2E_END={needle}'.encode(), b'vtc_upd.exe')]
            subprocess.run(['kill', '-9', *updater])  # as a shutdown ends it
            self.assertTrue(updater, 'the updater copy was never seen writing')
            first.result()

        run = self.launch(app)
        self.assertEqual((run.exit_code, run.message_boxes), (0, []))
        self.assert_client_started_once(app)
        self.assertEqual([e.name for e in app.iterdir() if e.is_file()], ['VTConsole.exe'])

    def test_updater_copy_that_cannot_be_deleted_does_not_stop_the_client(self):
        app = make_installation(self.root)
        # The copy of a finished hand-over, read-only: Windows refuses to delete it.
        shutil.copy(app / 'VTConsole.exe', app / 'VTC_upd.exe')
        os.chmod(app / 'VTC_upd.exe', 0o444)

        run = self.launch(app)

        self.assertTrue((app / 'VTC_upd.exe').exists())
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [CLIENT_START])
        self.assertEqual(run.sleeps, [], 'access denied is not waited for')
        self.assert_client_started_once(app)


if __name__ == '__main__':
    unittest.main()
