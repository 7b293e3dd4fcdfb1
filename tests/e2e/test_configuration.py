"""What a normal start prepares before the client runs: the connection list, the hosts file and
the registry, as the release launcher leaves them."""

import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BUILD_DIR, WineTestCase, make_installation, standin, windows_path
from update_support import holding

MAIN = ('main.veltrix.example', '198.51.100.10')
DEMO = ('demo.veltrix.example', '198.51.100.20')
SAMPLE_LIST = (Path(__file__).resolve().parents[2] / 'sample/app/conf/default-connections.xml')

PREFERENCES = r'Software\JavaSoft\Prefs\vt_2_0'
FEATURE = (r'Software\Microsoft\Internet Explorer\Main\FeatureControl'
           r'\FEATURE_HTTP_USERNAME_PASSWORD_DISABLE')
REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4
FILE_SHARE_READ = 1


def entry(name, address, entry_name):
    return (f"\r\n# Automatically inserted by Veltrix Console for connection '{name}':\r\n"
            f"{address} {entry_name}\r\n").encode()


def sz(text):
    return (REG_SZ, text.encode() + b'\0')


def dword(number):
    return (REG_DWORD, number.to_bytes(4, 'little'))


class Configuration(WineTestCase):

    def setUp(self):
        super().setUp()
        hosts = self.prefix.hosts_file
        self.original_hosts = hosts.read_bytes() if hosts.exists() else None
        self.addCleanup(self.restore_hosts)

    def restore_hosts(self):
        if self.original_hosts is None:
            self.prefix.hosts_file.unlink(missing_ok=True)
        else:
            self.prefix.hosts_file.write_bytes(self.original_hosts)

    def appended_hosts(self):
        content = self.prefix.hosts_file.read_bytes()
        original = self.original_hosts or b''
        self.assertTrue(content.startswith(original), 'the hosts file was changed, not appended')
        return content[len(original):]

    def fresh_installation(self, name):
        app = make_installation(self.root / name)
        return app, app / 'conf/connections.xml'

    # --- Connection list and hosts file -------------------------------------------------------

    def test_each_resolved_server_replaces_its_address_and_the_others_get_entries(self):
        sample = SAMPLE_LIST.read_bytes()
        main_replaced = sample.replace(b'>198.51.100.10<', b'>main.veltrix.example<')
        demo_replaced = sample.replace(b'>198.51.100.20<', b'>demo.veltrix.example<')
        both_replaced = main_replaced.replace(b'>198.51.100.20<', b'>demo.veltrix.example<')
        main_entry = entry('Veltrix Main', '198.51.100.10', 'Veltrix-Main.vt')
        demo_entry = entry('Veltrix Demo', '198.51.100.20', 'Veltrix-Demo.vt')
        plant_entry = entry('Plant 7', '10.0.0.5', 'Plant-7.vt')
        cases = [
            ('neither', (), sample, main_entry + demo_entry + plant_entry),
            ('main only', (MAIN[0],), main_replaced, demo_entry + plant_entry),
            ('demo only', (DEMO[0],), demo_replaced, main_entry + plant_entry),
            ('both', (MAIN[0], DEMO[0]), both_replaced, plant_entry),
        ]
        for name, resolved, list_after, appended in cases:
            with self.subTest(name):
                self.restore_hosts()
                app, connections = self.fresh_installation(name.replace(' ', '-'))
                run = self.launch(app, resolve=resolved)
                self.assertEqual(run.exit_code, 0)
                self.assertEqual(connections.read_bytes(), list_after)
                self.assertFalse((app / 'conf/connections.tmp').exists())
                self.assertEqual(self.appended_hosts(), appended)
                self.assertEqual(len(self.client_starts()), 1)
                self.client_log.unlink()

        # A second start finds every entry and adds none.
        before = self.prefix.hosts_file.read_bytes()
        self.launch(app, resolve=(MAIN[0], DEMO[0]))
        self.assertEqual(self.prefix.hosts_file.read_bytes(), before)

    def test_an_early_stop_keeps_the_list_and_the_entries_made_before_it(self):
        app, connections = self.fresh_installation('app')
        listing = (b'<connections>\n<connection name="A">\n<host>10.1.0.1</host>\n'
                   b'<host>198.51.100.10</host>\n'
                   # A start inside an open connection: the scan stops here.
                   b'<connection name="B">\n<host>10.1.0.2</host>\n</connection>\n'
                   b'</connections>\n')
        connections.write_bytes(listing)
        run = self.launch(app, resolve=(MAIN[0],))
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(connections.read_bytes(), listing)
        self.assertFalse((app / 'conf/connections.tmp').exists())
        self.assertEqual(self.appended_hosts(), entry('A', '10.1.0.1', 'A.vt'))

        # A host outside any connection stops it before anything is examined.
        self.restore_hosts()
        connections.write_bytes(b'<host>10.1.0.3</host>\n<connection>\n<host>10.1.0.4</host>\n')
        self.launch(app, resolve=(MAIN[0],))
        self.assertEqual(self.appended_hosts(), b'')

    def test_a_list_is_replaced_whole_or_not_at_all(self):
        sample = SAMPLE_LIST.read_bytes()
        rewritten = sample.replace(b'>198.51.100.10<', b'>main.veltrix.example<').replace(
            b'>198.51.100.20<', b'>demo.veltrix.example<')
        # Another program reads the list and lets nobody delete or replace it meanwhile: the
        # launcher still reads it, but its rewritten copy cannot take its place.
        app, connections = self.fresh_installation('held')
        connections.write_bytes(sample)
        with holding(self.prefix, connections, self.root, share=FILE_SHARE_READ):
            run = self.launch(app, resolve=(MAIN[0], DEMO[0]))
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(self.appended_hosts(), entry('Plant 7', '10.0.0.5', 'Plant-7.vt'))
        self.assertEqual(connections.read_bytes(), sample)
        self.assertFalse((app / 'conf/connections.tmp').exists())
        self.assertEqual(len(self.client_starts()), 1)

        # A read-only list: Windows refuses to replace it, while Wine run as root replaces it
        # all the same; then the new list must be the whole of it.
        app, connections = self.fresh_installation('read-only')
        connections.write_bytes(sample)
        connections.chmod(0o444)
        self.assertEqual(self.launch(app, resolve=(MAIN[0], DEMO[0])).exit_code, 0)
        self.assertIn(connections.read_bytes(), (sample, rewritten))
        if os.geteuid() == 0:
            self.assertEqual(connections.read_bytes(), rewritten)
        self.assertFalse((app / 'conf/connections.tmp').exists())

    def test_a_full_disk_never_truncates_the_list(self):
        app, connections = self.fresh_installation('app')
        conf = app / 'conf'
        shutil.rmtree(conf)
        conf.mkdir()
        # Three pages: the list takes two, so its rewritten copy cannot be written whole. The
        # mount is made where the wine server, which opens the files, sees it.
        subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=12k', 'tmpfs', str(conf)],
                       check=True)
        self.addCleanup(subprocess.run, ['umount', str(conf)], check=True)
        connection = (b'<connection name="Main">\r\n<host>198.51.100.10</host>\r\n'
                      b'</connection>\r\n')
        listing = connection * (6000 // len(connection))
        connections.write_bytes(listing)
        self.assertGreater(len(listing), 4096)

        run = self.launch(app, resolve=(MAIN[0],))

        self.assertEqual(run.exit_code, 0)
        self.assertEqual(connections.read_bytes(), listing)
        self.assertEqual(sorted(p.name for p in conf.iterdir()), ['connections.xml'])
        self.assertEqual(len(self.client_starts()), 1)

    # --- Registry and service list -------------------------------------------------------------

    def registry(self, *arguments):
        with tempfile.TemporaryDirectory(dir=BUILD_DIR) as scratch:
            result = Path(scratch) / 'value'
            subprocess.run(['wine', str(standin('registry')), windows_path(result), *arguments],
                           env=self.prefix.env, stdin=subprocess.DEVNULL, check=True,
                           capture_output=True, timeout=120)
            return result.read_text()

    def set_value(self, key, name, value):
        kind, data = value
        self.registry('set', key, name, str(kind), data.hex())

    def value(self, key, name):
        """(type, data) of a value under HKEY_CURRENT_USER, its size being len(data)."""
        shown = self.registry('get', key, name)
        if shown == 'absent':
            return None
        kind, size, data = (shown.split(' ') + [''])[:3]
        data = bytes.fromhex(data)
        self.assertEqual(int(size), len(data))
        return int(kind), data

    def test_registry_values_are_written_with_their_types_and_sizes(self):
        browser = sz(r'cmd \c start iexplore')
        index = sz('1')
        self.assertEqual(len(browser[1]), 22)
        cases = [
            ('nothing there', None, None, None, browser, index),
            ('empty string and one character', sz(''), sz('7'), sz('1'), browser, sz('7')),
            ('dword kept, missing index written', dword(5), None, (REG_BINARY, b'\1\2'),
             dword(5), index),
        ]
        for name, browser_before, index_before, feature_before, browser_after, index_after \
                in cases:
            with self.subTest(name):
                subprocess.run(['wine', 'reg', 'delete', r'HKCU\Software\JavaSoft', '/f'],
                               env=self.prefix.env, capture_output=True, timeout=120)
                for key, value_name, value in ((PREFERENCES, 'browser/For/Help', browser_before),
                                               (PREFERENCES, 'default/Login/Module/Index',
                                                index_before),
                                               (FEATURE, 'iexplore.exe', feature_before)):
                    if value is not None:
                        self.set_value(key, value_name, value)
                app, _ = self.fresh_installation(name.replace(' ', '-'))

                self.assertEqual(self.launch(app).exit_code, 0)

                self.assertEqual(self.value(PREFERENCES, 'browser/For/Help'), browser_after)
                self.assertEqual(self.value(PREFERENCES, 'default/Login/Module/Index'),
                                 index_after)
                self.assertEqual(self.value(FEATURE, 'iexplore.exe'), dword(0))
        # reg.exe, as a user would look, agrees.
        self.assertEqual(self.prefix.query_values('HKCU\\' + PREFERENCES)['browser/For/Help'],
                         ('REG_DWORD', '0x5'))

    def test_the_service_list_is_made_from_its_default_only_when_missing(self):
        app, _ = self.fresh_installation('app')
        services = app / 'conf/services.xml'
        default = (app / 'conf/default-services.xml').read_bytes()
        self.launch(app)
        self.assertEqual(services.read_bytes(), default)

        services.write_bytes(b'<services><mine/></services>\r\n')
        os.utime(services, (1_000_000_000, 1_000_000_000))
        self.launch(app)
        self.assertEqual(services.read_bytes(), b'<services><mine/></services>\r\n')
        self.assertEqual(services.stat().st_mtime, 1_000_000_000)


if __name__ == '__main__':
    unittest.main()
