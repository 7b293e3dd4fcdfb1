"""What the release build gives: a small GUI PE32 that imports only system DLLs, the resources a
user sees in Explorer, and the same bytes from every clean build of one commit."""

import re
import shutil
import struct
import subprocess
import unittest

import pe
import pefile
from harness import BUILD_DIR, LAUNCHER, SIZE_TARGETS, SOURCE_DIR

SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'advapi32.dll', 'ws2_32.dll', 'msvcrt.dll'}
IMAGE_FILE_MACHINE_I386 = 0x14c
PE32 = 0x10b
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
ENGLISH_US = 1033


def project_version():
    cmake = (SOURCE_DIR / 'CMakeLists.txt').read_text()
    return re.search(r'project\(VTConsole VERSION (\d+\.\d+\.\d+)', cmake).group(1)


class ReleaseExecutable(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.image = pe.PeFile(LAUNCHER.read_bytes())
        cls.resources = cls.image.resources()

    def test_is_a_32_bit_gui_program_that_imports_only_system_dlls(self):
        self.assertEqual(self.image.machine, IMAGE_FILE_MACHINE_I386)
        self.assertEqual(self.image.magic, PE32)
        self.assertEqual(self.image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.assertLessEqual({dll.lower() for dll in self.image.imported_dlls()}, SYSTEM_DLLS)

    def test_is_hardened_as_scanners_check(self):
        flags = self.image.pe.OPTIONAL_HEADER.DllCharacteristics
        for flag in ('DYNAMIC_BASE', 'NX_COMPAT', 'NO_SEH'):
            self.assertTrue(flags & pefile.DLL_CHARACTERISTICS[f'IMAGE_DLLCHARACTERISTICS_{flag}'],
                            flag)
        # The stack canaries' random source, linked in only where compiled code checks one.
        self.assertIn((b'ADVAPI32.dll', b'SystemFunction036'),
                      {(dll.dll, i.name) for dll in self.image.pe.DIRECTORY_ENTRY_IMPORT
                       for i in dll.imports})

    def test_resources_are_the_icon_group_the_version_block_and_the_manifest(self):
        self.assertEqual(set(self.resources), {pe.RT_ICON, pe.RT_GROUP_ICON, pe.RT_VERSION,
                                               pe.RT_MANIFEST})
        [group] = self.resources[pe.RT_GROUP_ICON].values()
        reserved, kind, count = struct.unpack_from('<HHH', group[ENGLISH_US])
        self.assertEqual((reserved, kind, count), (0, 1, 10))
        self.assertEqual(len(self.resources[pe.RT_ICON]), 10)

        [version] = self.resources[pe.RT_VERSION].values()
        self.assertEqual(list(version), [ENGLISH_US])
        self.assertEqual(self.image.version_strings(), {
            'FileDescription': 'Veltrix Console', 'InternalName': 'VTConsole',
            'OriginalFilename': 'VTConsole.exe', 'FileVersion': project_version(),
            'ProductVersion': project_version()})

        [manifest] = self.resources[pe.RT_MANIFEST].values()
        text = manifest[ENGLISH_US].decode()
        # One assembly element and nothing in it: no dependencies, no execution level.
        self.assertRegex(text, r'^<\?xml[^>]*\?>\s*<assembly [^>]*/>\s*$')
        self.assertIn('xmlns="urn:schemas-microsoft-com:asm.v1"', text)
        self.assertIn('manifestVersion="1.0"', text)

    def test_size_whole_and_without_resources(self):
        rsrc = self.image.section('.rsrc').SizeOfRawData
        size = LAUNCHER.stat().st_size
        print(f'\nVTConsole.exe: {size} bytes, {size - rsrc} without resources')
        self.assertLessEqual(size, SIZE_TARGETS[0])
        self.assertLessEqual(size - rsrc, SIZE_TARGETS[1])


class ReproducibleBuild(unittest.TestCase):

    def build_in(self, folder):
        shutil.rmtree(folder, ignore_errors=True)
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        subprocess.run(['cmake', '-S', SOURCE_DIR, '-B', folder, '-G', 'Ninja',
                        f'-DCMAKE_TOOLCHAIN_FILE={SOURCE_DIR}/cmake/mingw-i686.cmake',
                        '-DCMAKE_BUILD_TYPE=Release', '-DVT_BUILD_TESTS=OFF'],
                       check=True, capture_output=True)
        subprocess.run(['ninja', '-C', folder, 'VTConsole'], check=True, capture_output=True)
        return (folder / 'VTConsole.exe').read_bytes()

    def test_two_clean_builds_in_different_folders_give_the_same_bytes(self):
        first = self.build_in(BUILD_DIR / 'reproducible-a')
        second = self.build_in(BUILD_DIR / 'reproducible-b' / 'deeper')
        self.assertEqual(first, second)
        self.assertEqual(first, LAUNCHER.read_bytes())


if __name__ == '__main__':
    unittest.main()
