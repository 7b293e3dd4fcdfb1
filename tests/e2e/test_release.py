"""A release as a vendor makes it and anyone checks it: script/release signs the build with a key
in a PKCS#12 file or with the same key on a PKCS#11 token (SoftHSM2), script/verify-release
checks a signed file against the source, and the signed launcher works as the launcher does.
The keys are made for the test: a throwaway CA and its code-signing certificate."""

import hashlib
import os
import shutil
import subprocess
import unittest

from harness import (BUILD_DIR, CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP, LAUNCHER,
                     SOURCE_DIR, WineTestCase, make_installation)
from test_build import project_version
from update_support import new_launcher_bytes, write_file

KEYS = BUILD_DIR / 'release-keys'
DIST = BUILD_DIR / 'release-dist'
PASSWORD, PIN = 'file secret', '4711'
TOKEN_KEY = 'pkcs11:token=vt-release-test;object=vt-signing;type=private'
SOFTHSM_MODULE = '/usr/lib/softhsm/libsofthsm2.so'
ENVIRONMENT = {**{k: v for k, v in os.environ.items() if not k.startswith('VT_SIGN_')},
               'SOFTHSM2_CONF': str(KEYS / 'softhsm2.conf')}


def run(*command, **env):
    return subprocess.run([str(part) for part in command], env={**ENVIRONMENT, **env},
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)


def make_keys():
    """A CA, a code-signing certificate, its key in a PKCS#12 file and on a SoftHSM2 token."""
    shutil.rmtree(KEYS, ignore_errors=True)
    (KEYS / 'tokens').mkdir(parents=True)
    (KEYS / 'softhsm2.conf').write_text(f'directories.tokendir = {KEYS / "tokens"}\n'
                                        'objectstore.backend = file\n')
    (KEYS / 'signing.cnf').write_text('basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\n'
                                      'extendedKeyUsage=codeSigning\n')
    steps = [
        ['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '2',
         '-subj', '/CN=VTConsole Test CA', '-keyout', KEYS / 'ca.key', '-out', KEYS / 'ca.pem'],
        ['openssl', 'req', '-newkey', 'rsa:2048', '-nodes', '-subj', '/CN=VTConsole Test Vendor',
         '-keyout', KEYS / 'signing.key', '-out', KEYS / 'signing.csr'],
        ['openssl', 'x509', '-req', '-days', '2', '-in', KEYS / 'signing.csr', '-CA',
         KEYS / 'ca.pem', '-CAkey', KEYS / 'ca.key', '-set_serial', '2',
         '-extfile', KEYS / 'signing.cnf', '-out', KEYS / 'signing.pem'],
        ['openssl', 'pkcs12', '-export', '-inkey', KEYS / 'signing.key', '-in',
         KEYS / 'signing.pem', '-certfile', KEYS / 'ca.pem', '-passout', f'pass:{PASSWORD}',
         '-out', KEYS / 'signing.p12'],
        ['softhsm2-util', '--init-token', '--free', '--label', 'vt-release-test',
         '--pin', PIN, '--so-pin', '12345678'],
        ['softhsm2-util', '--import', KEYS / 'signing.key', '--token', 'vt-release-test',
         '--label', 'vt-signing', '--id', '01', '--pin', PIN],
    ]
    for step in steps:
        done = run(*step)
        assert done.returncode == 0, f'{step}: {done.stdout}{done.stderr}'
    (KEYS / 'chain.pem').write_text((KEYS / 'signing.pem').read_text() +
                                    (KEYS / 'ca.pem').read_text())


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def release(name, **env):
    return run(SOURCE_DIR / 'script/release', VT_DIST_DIR=DIST / name, **env)


def verify_release(exe, *ca_file):
    return run(SOURCE_DIR / 'script/verify-release', exe, *ca_file)


def without_signature(exe):
    stripped = exe.with_name(exe.stem + '-stripped.exe')
    stripped.unlink(missing_ok=True)
    done = run('osslsigncode', 'remove-signature', '-in', exe, '-out', stripped)
    assert done.returncode == 0, done.stdout
    return stripped.read_bytes()


def setUpModule():
    make_keys()
    done = release('file', VT_SIGN_PKCS12=KEYS / 'signing.p12', VT_SIGN_PASSWORD=PASSWORD)
    assert done.returncode == 0, done.stdout + done.stderr


class Release(unittest.TestCase):

    def test_a_key_in_a_file_and_the_same_key_on_a_token_sign_the_build(self):
        token = release('token', VT_SIGN_PKCS11_MODULE=SOFTHSM_MODULE, VT_SIGN_PKCS11_KEY=TOKEN_KEY,
                        VT_SIGN_CERT=KEYS / 'chain.pem', VT_SIGN_PIN=PIN)
        self.assertEqual(token.returncode, 0, token.stdout + token.stderr)
        self.assertIn(f'VTConsole {project_version()}', token.stdout)
        for name in ('file', 'token'):
            with self.subTest(name):
                exe = DIST / name / 'VTConsole.exe'
                self.assertEqual(run('sh', '-c', f'cd "{exe.parent}" && sha256sum -c SHA256SUMS')
                                 .returncode, 0)
                self.assertEqual(run('osslsigncode', 'verify', '-CAfile', KEYS / 'ca.pem',
                                     '-in', exe).returncode, 0)
                self.assertEqual(sha256(without_signature(exe)), sha256(LAUNCHER.read_bytes()))
        checked = verify_release(DIST / 'file/VTConsole.exe', KEYS / 'ca.pem')
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertRegex(checked.stdout, r'^signature: valid.*\nsource: the build')

    def test_without_a_key_the_release_is_unsigned_and_says_so_once(self):
        done = release('no-key')
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len([line for line in done.stdout.splitlines() if 'unsigned' in line]), 1)
        self.assertEqual((DIST / 'no-key/VTConsole.exe').read_bytes(), LAUNCHER.read_bytes())

    def test_a_wrong_password_fails_and_leaves_no_launcher_behind(self):
        write_file(DIST / 'wrong/VTConsole.exe', LAUNCHER.read_bytes())
        done = release('wrong', VT_SIGN_PKCS12=KEYS / 'signing.p12', VT_SIGN_PASSWORD='wrong')
        self.assertNotEqual(done.returncode, 0)
        self.assertRegex(done.stderr.splitlines()[-1], r'^release: cannot sign with')
        self.assertFalse((DIST / 'wrong/VTConsole.exe').exists())

    def test_a_changed_byte_or_a_root_that_is_not_trusted_fails_the_check(self):
        signed = (DIST / 'file/VTConsole.exe').read_bytes()
        # A byte that the signature's own check ignores: the version of the PKCS#7 structure.
        version = len(LAUNCHER.read_bytes()) + 8 + 25
        self.assertEqual(signed[version - 2:version + 1], b'\x02\x01\x01')  # INTEGER 1
        changed = bytearray(signed)
        changed[version] ^= 1
        write_file(DIST / 'changed.exe', bytes(changed))
        checked = verify_release(DIST / 'changed.exe', KEYS / 'ca.pem')
        self.assertEqual(checked.returncode, 1, checked.stdout)
        self.assertRegex(checked.stdout, r'\nsource: NOT the build')
        # Without a CA file, only the system's store counts, and the test CA is not in it.
        checked = verify_release(DIST / 'file/VTConsole.exe')
        self.assertEqual(checked.returncode, 1)
        self.assertRegex(checked.stdout, r'^signature: NOT valid.*\nsource: the build')


class SignedLauncher(WineTestCase):

    def test_starts_the_client_and_hands_over_to_a_signed_new_launcher(self):
        app = make_installation(self.root)
        write_file(app / 'VTConsole.exe', (DIST / 'file/VTConsole.exe').read_bytes())
        start = self.launch(app)
        self.assertEqual((start.exit_code, start.process_starts),
                         (0, [(CLIENT_COMMAND_LINE, CREATE_NEW_PROCESS_GROUP)]))

        write_file(self.root / 'new.exe', new_launcher_bytes())
        (app / 'patches').mkdir()
        signed = run('osslsigncode', 'sign', '-pkcs12', KEYS / 'signing.p12', '-pass', PASSWORD,
                     '-h', 'sha256', '-in', self.root / 'new.exe', '-out',
                     app / 'patches/VTConsole.exe')
        self.assertEqual(signed.returncode, 0, signed.stdout)
        new = (app / 'patches/VTConsole.exe').read_bytes()
        start = self.launch(app)
        self.assertEqual(start.exit_code, 0)
        self.assertEqual([command for command, _ in start.process_starts],
                         ['.\\VTC_upd.exe', '.\\VTConsole.exe', CLIENT_COMMAND_LINE])
        self.assertEqual((app / 'VTConsole.exe').read_bytes(), new)
        self.assertEqual(len(self.client_starts()), 2)


if __name__ == '__main__':
    unittest.main()
