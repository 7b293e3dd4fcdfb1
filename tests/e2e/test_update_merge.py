"""The patch tree merge as a user meets it: the start after an update dropped files below
"patches". After every start that fails, an inventory shows that no file was lost: each one of
the tree is either in its new place or still below "patches", and the next start carries on."""

import os
import shutil
import stat
import unittest
from pathlib import Path

from harness import (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP, FAILURE_MESSAGE,
                     WineTestCase, make_installation, read_account, windows_path)
from update_support import inventory, write_file

CLIENT_START = (CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)
# Made by the configuration steps of every normal start that gets that far.
CONFIGURATION_FILES = ('conf/connections.xml', 'conf/services.xml')


def is_read_only(path):
    # Wine shows a file or directory without write permission as read-only.
    return not os.stat(path).st_mode & stat.S_IWUSR


def make_read_only(path):
    os.chmod(path, os.stat(path).st_mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))


class PatchTreeMerge(WineTestCase):

    def lay_out(self, tree, app_files=()):
        """An installation with an update.bat, app_files and the files of tree below patches."""
        app = make_installation(self.root)
        write_file(app / 'update.bat', '@rem')
        for name, content in dict(app_files).items():
            write_file(app / name, content)
        for name, content in tree.items():
            write_file(app / 'patches' / name, content)
        return app

    def assert_started(self, run):
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.message_boxes, [])
        self.assertEqual(run.process_starts, [CLIENT_START])

    def assert_merged(self, run, app, tree):
        """The start succeeded and the whole tree has left patches for its place."""
        self.assert_started(run)
        after = inventory(app)
        self.assertNotIn('patches', after)
        self.assertNotIn('update.bat', after)
        for name, content in tree.items():
            self.assertEqual(after[name], content.encode(), name)
        return after

    def assert_failed_losing_nothing(self, run, app, before, tree):
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.message_boxes, [FAILURE_MESSAGE])
        self.assertEqual(self.client_starts(), [])
        after = inventory(app)
        for name, content in tree.items():
            moved = after.get(name) == content.encode()
            waiting = after.get(f'patches/{name}') == content.encode()
            self.assertTrue(moved != waiting, f'{name}: moved {moved}, still in the tree {waiting}')
            if not moved:
                self.assertEqual(after.get(name), before.get(name), name)
        untouched = {name: content for name, content in before.items()
                     if content is not None and not name.startswith('patches')
                     and name not in tree}
        self.assertEqual({name: after.get(name) for name in untouched}, untouched)
        self.assertEqual(after.get('update.bat'), b'@rem')
        for name in CONFIGURATION_FILES:
            self.assertNotIn(name, after, 'no configuration step runs after a failed merge')
        return after

    def test_nested_read_only_and_dotted_entries_are_merged(self):
        tree = {'lib/vt-client.jar': 'new client', 'lib/ext/deep/plugin.jar': 'plugin',
                'conf/auth.conf': 'new auth', 'cacerts': 'new certificates',
                '.x': 'dot x', '..x': 'dot dot x'}
        app = self.lay_out(tree, {'conf/auth.conf': 'old auth', 'keep.txt': 'kept'})
        make_read_only(app / 'conf/auth.conf')
        make_read_only(app / 'patches/conf/auth.conf')
        make_read_only(app / 'patches/cacerts')
        make_read_only(app / 'patches/lib/ext')
        make_read_only(app / 'patches/lib')
        before = inventory(app)

        run = self.launch(app)

        after = self.assert_merged(run, app, tree)
        for name in ('conf/auth.conf', 'cacerts', 'lib/ext'):
            self.assertFalse(is_read_only(app / name), name)
        self.assertEqual(after['keep.txt'], b'kept')
        self.assertEqual(after['lib/ext/deep'], None)
        expected_names = ({name for name in before if not name.startswith('patches')}
                          | set(tree) | {'lib/ext', 'lib/ext/deep'} | set(CONFIGURATION_FILES))
        self.assertEqual(set(after), expected_names - {'update.bat'})

    def test_directory_where_the_application_has_a_file_fails_until_the_file_is_gone(self):
        tree = {'a.txt': 'a', 'plugins/one.jar': 'one', 'plugins/two.jar': 'two', 'z.txt': 'z'}
        app = self.lay_out(tree, {'plugins': 'a file where the tree has a directory'})
        before = inventory(app)

        run = self.launch(app)

        after = self.assert_failed_losing_nothing(run, app, before, tree)
        self.assertEqual(after['plugins'], b'a file where the tree has a directory')
        self.assertIn('patches/plugins/one.jar', after)
        self.assertIn('patches/plugins/two.jar', after)

        # Once the file is out of the way, the next start merges what is left.
        (app / 'plugins').unlink()
        run = self.launch(app)
        self.assert_merged(run, app, tree)

    def test_links_to_folders_outside_are_left_and_every_start_goes_on(self):
        """Links that someone who can write the installation made, to folders outside it: in
        the tree, deeper in it, in place of a folder of the application, as the tree, and as
        the configuration's folder."""
        outside, elsewhere = self.root / 'outside', self.root / 'elsewhere'
        write_file(outside / 'precious.txt', 'precious')
        write_file(outside / 'deeper/more.txt', 'more')
        elsewhere.mkdir()
        app = self.lay_out({'lib/vt-client.jar': 'new client', 'plugins/one.jar': 'one'})
        os.symlink(outside, app / 'patches/linked')
        os.symlink(outside, app / 'patches/lib/linked')
        os.symlink(elsewhere, app / 'plugins')
        shutil.move(app / 'conf', self.root / 'conf')
        os.symlink(self.root / 'conf', app / 'conf')
        before, configuration = inventory(outside), inventory(self.root / 'conf')
        account = self.root / 'VTConsole.log'
        for _ in range(2):
            run = self.launch(app, env={'VTCONSOLE_LOG': windows_path(account)})
            self.assert_started(run)
            self.assertEqual((app / 'lib/vt-client.jar').read_bytes(), b'new client')
            self.assertEqual(inventory(outside), before)
            self.assertEqual(inventory(elsewhere), {})
            self.assertEqual(inventory(self.root / 'conf'), configuration)
            self.assertFalse((app / 'update.bat').exists())
        self.assertEqual((app / 'patches/plugins/one.jar').read_bytes(), b'one')
        self.assertIn('patch tree: patches\\lib\\linked is a link, left where it is',
                      [text for _, text in read_account(account)])

        shutil.rmtree(app / 'patches')
        os.symlink(outside, app / 'patches')
        self.assert_started(self.launch(app))
        self.assertEqual(inventory(outside), before)

    def test_patches_as_a_plain_file_fails_every_start_and_touches_nothing(self):
        app = make_installation(self.root)
        write_file(app / 'update.bat', '@rem')
        write_file(app / 'patches', 'not a tree')
        before = inventory(app)
        for _ in range(2):
            run = self.launch(app)
            self.assertEqual(run.exit_code, 1)
            self.assertEqual(run.message_boxes, [FAILURE_MESSAGE])
            self.assertEqual(inventory(app), before)
        self.assertEqual(self.client_starts(), [])

    def test_entry_whose_path_would_not_fit_stays_in_the_tree(self):
        app = make_installation(self.root)
        prefix = windows_path(app) + '\\'
        # Destinations of 259 characters (the most a 260-byte buffer holds) and of 260.
        fits = 'f' * (259 - len(prefix))
        too_long = 'g' * (260 - len(prefix))
        tree = {fits: 'fits', too_long: 'too long', 'lib/vt-client.jar': 'new client'}
        app = self.lay_out(tree)
        before = inventory(app)

        run = self.launch(app)

        after = self.assert_failed_losing_nothing(run, app, before, tree)
        self.assertEqual(after[f'patches/{too_long}'], b'too long')
        new_names = set(after) - set(before)
        self.assertLessEqual(new_names, {fits, 'lib/vt-client.jar'}, 'nothing under a cut name')


if __name__ == '__main__':
    unittest.main()
