"""The release launcher's roads, as a user starts it."""

import re
import shutil
import unittest

from harness import (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP, FAILURE_MESSAGE, LAUNCHER,
                     WineTestCase, make_installation, read_account, windows_path)

# Numeric hosts enough that starts which add their entries together, not in turn, add some twice.
ADDRESSES = 1500


class LaunchSequence(WineTestCase):

    def assert_client_started(self, run, app):
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [(CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)])
        [start] = self.client_starts()
        self.assertEqual(start['program'], 'javaw.exe')
        self.assertEqual(start['command_line'], CLIENT_COMMAND_LINE)
        self.assertEqual(start['directory'], windows_path(app))

    def assert_failed(self, run):
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.message_boxes, [FAILURE_MESSAGE])
        self.assertEqual(self.client_starts(), [])

    def test_normal_start_runs_the_client_in_the_application_directory(self):
        app = make_installation(self.root)
        # Started from elsewhere, as a shortcut with another working folder would.
        run = self.launch(app, cwd=self.root)
        self.assert_client_started(run, app)
        self.assertEqual(run.directory_changes, [windows_path(app) + '\\'])

    def test_missing_java_runtime_shows_the_message_and_the_account_says_why(self):
        app = make_installation(self.root, client=False)
        temporary = self.prefix.drive_c / 'users'
        # Any value but a path means the temporary folder; an account that cannot be written
        # (a folder of that name) changes nothing, nor does a path whose name ends otherwise
        # than in .log (a script that would run what the account says).
        for value in ('', windows_path(app), windows_path(app / 'setup.cmd'), '1'):
            with self.subTest(account=value):
                for old in temporary.rglob('VTConsole.log*'):
                    old.unlink()
                run = self.launch(app, env={'VTCONSOLE_LOG': value})
                self.assert_failed(run)
                self.assertEqual([command for command, _ in run.process_starts],
                                 [CLIENT_COMMAND_LINE])
                accounts = list(temporary.rglob('VTConsole.log'))
                self.assertEqual(len(accounts), value == '1')
                self.assertFalse((app / 'setup.cmd').exists())
        [account] = accounts
        *_, (_, cause), (_, last) = read_account(account)
        self.assertRegex(cause,
                         r'^not started: CreateProcessA jre\\bin\\javaw\.exe .*: error 2 \(.+\)$')
        self.assertRegex(last, r'^exit code 1 after \d+ ms, "Unable to initiate application" '
                               r'shown: the Java client could not be started$')

        # An account past its limit is moved aside before the next start writes.
        account.write_bytes(b'x' * (1024 * 1024 + 1))
        self.launch(app, env={'VTCONSOLE_LOG': '1'})
        self.assertEqual(account.with_suffix('.log.old').stat().st_size, 1024 * 1024 + 1)
        self.assertTrue(read_account(account)[0][1].startswith('VTConsole '))

    def test_starts_made_together_under_a_silent_name_server_wait_for_no_other_lookups(self):
        """A name server that never answers (a VPN that is down): three starts at once wait for
        each other only for the work that the lock covers, never for the lookups. They end their
        lookups together, and then take turns again: a list of many numeric hosts gets one
        hosts entry per address, and stays whole."""
        app = make_installation(self.root)
        account = self.root / 'VTConsole.log'
        addresses = [f'10.77.{i // 200}.{i % 200}' for i in range(ADDRESSES)]
        listing = ''.join(f'<connection name="C{i}">\r\n<host>{address}</host>\r\n'
                          f'</connection>\r\n' for i, address in enumerate(addresses)).encode()
        (app / 'conf/connections.xml').write_bytes(listing)
        hosts = self.prefix.hosts_file
        self.addCleanup(hosts.write_bytes, hosts.read_bytes())

        run, exit_codes = self.rush(app, 3, env={'VTCONSOLE_LOG': windows_path(account)},
                                    silent_dns=2)

        self.assertEqual(exit_codes, [0, 0, 0])
        self.assertEqual(len(self.client_starts()), 3)
        self.assertEqual((app / 'conf/connections.xml').read_bytes(), listing)
        self.assertEqual(sorted(re.findall(r'^(10\.77\.\S+) ', hosts.read_text(), re.M)),
                         sorted(addresses))
        account = read_account(account)
        lookups = [int(ms) for _, text in account for ms in re.findall(r'in (\d+) ms: geth', text)]
        self.assertEqual(len(lookups), 6)
        self.assertGreaterEqual(min(lookups), 1500, 'the name server answered')
        # Taken again after the lookups, the lock is held while another start writes the list.
        waits = [int(ms) for _, text in account
                 for ms in re.findall(r'^installation lock \S+ had after (\d+) ms', text)]
        self.assertLess(max(waits), 1500, f"a start waited for another's lookups: {account}")

    def test_install_option_is_a_case_sensitive_substring_of_the_arguments(self):
        app = make_installation(self.root)
        for arguments in (['--install'], ['/s', 'x--installer']):
            with self.subTest(arguments=arguments):
                run = self.launch(app, arguments, cwd=self.root)
                self.assertEqual(run.exit_code, 0)
                self.assertEqual(run.message_boxes, [])
                self.assertEqual(run.directory_changes, [])
                self.assertEqual(self.client_starts(), [])

        self.launch(app, ['--INSTALL'])
        self.assertEqual(len(self.client_starts()), 1)

    def test_install_option_in_the_program_path_alone_is_a_normal_start(self):
        app = make_installation(self.root / 'x--install')
        run = self.launch(app)
        self.assert_client_started(run, app)

    def test_updater_road_is_chosen_by_the_whole_file_name_in_any_case(self):
        app = make_installation(self.root, launcher_name='vtc_UPD.exe')
        run = self.launch(app, program='vtc_UPD.exe', cwd=self.root)
        # The updater road changes to the application directory, copies itself over
        # VTConsole.exe and hands over to that copy, which starts the client.
        self.assertEqual(run.directory_changes[0], windows_path(app) + '\\')
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.process_starts, [('.\\VTConsole.exe', CREATE_NEW_PROCESS_GROUP),
                                              (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)])
        self.assertEqual((app / 'VTConsole.exe').read_bytes(), LAUNCHER.read_bytes())
        self.assertEqual(len(self.client_starts()), 1)

        # A name that merely begins with the updater's name is a normal start.
        (app / 'VTConsole.exe').unlink()
        shutil.copy(LAUNCHER, app / 'VTC_upd.exe.exe')
        run = self.launch(app, program='VTC_upd.exe.exe')
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.process_starts, [(CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)])
        self.assertFalse((app / 'VTConsole.exe').exists())
        self.assertEqual(len(self.client_starts()), 2)

    def test_executable_path_of_260_characters_or_more_fails(self):
        # Z:\ and the folders below make the launcher's full path 260 characters or longer.
        base = len(windows_path(self.root)) + len('\\app\\VTConsole.exe')
        deep = self.root / ('d' * max(1, 260 - base - 1))
        app = make_installation(deep)
        self.assertGreaterEqual(len(windows_path(app / 'VTConsole.exe')), 260)
        for arguments in ([], ['--install']):
            with self.subTest(arguments=arguments):
                run = self.launch(app, arguments)
                self.assert_failed(run)
                self.assertEqual(run.directory_changes, [])


if __name__ == '__main__':
    unittest.main()
