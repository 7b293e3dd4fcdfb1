"""Real installers, built at test time: NSIS installers (Debian's nsis) of installers/vtconsole.nsi
and a Windows Installer package (Debian's wixl, finished with msitools' msibuild) of
installers/package.wxs. Each installs the release launcher and the Setup stand-in."""

import shutil
import subprocess
import tempfile
from pathlib import Path

from harness import BUILD_DIR, LAUNCHER, standin

SOURCES = Path(__file__).resolve().parent / 'installers'

# The package's custom action as Windows Installer types it: 34, a program run in a working
# directory (Source names it in the Directory table), + 1024 deferred + 2048 not impersonated.
CUSTOM_ACTION = ('Action\tType\tSource\tTarget\tExtendedType\ns72\ti2\tS72\tS255\tI4\n'
                 'CustomAction\tAction\n'
                 'RunInstallMode\t3106\tINSTALLDIR\t"[INSTALLDIR]VTConsole.exe" --install\t\n')
# Copies (option 0) of the site's files from the package's own folder (SourceDir) into the folder
# being installed, which MoveFiles makes before InstallFiles and so before the custom action.
MOVE_SITE_FILES = ('FileKey\tComponent_\tSourceName\tDestName\tSourceFolder\tDestFolder\tOptions\n'
                   's72\ts72\tL255\tL255\tS72\ts72\ti2\nMoveFile\tFileKey\n'
                   'SiteServices\tLauncher\tservices.xml\t\tSourceDir\tINSTALLDIR\t0\n'
                   'SiteConnections\tLauncher\tconnections.xml\t\tSourceDir\tINSTALLDIR\t0\n')


def _build(path, command, tables=()):
    """Runs command in a scratch folder that holds the launcher and Setup.exe (wixl takes only
    relative paths), where it writes "out"; adds tables (file name, IDT text) with msibuild and
    copies the result to path."""
    with tempfile.TemporaryDirectory(dir=BUILD_DIR) as work:
        shutil.copy(LAUNCHER, Path(work) / 'VTConsole.exe')
        shutil.copy(standin('setup'), Path(work) / 'Setup.exe')
        subprocess.run(command, cwd=work, check=True, stdout=subprocess.DEVNULL)
        for name, text in tables:
            (Path(work) / name).write_text(text)
            subprocess.run(['msibuild', 'out', '-i', name], cwd=work, check=True)
        Path(path).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(Path(work) / 'out', path)
    return Path(path)


def build_nsis_installer(path, arch='x86', launcher_name='VTConsole.exe', setup=True):
    """A 32-bit ('x86', NSIS's default) or 64-bit ('amd64') installer at path."""
    defines = ['-DOUTFILE=out', f'-DLAUNCHER_NAME={launcher_name}']
    defines += ['-DSETUP'] if setup else []
    defines += ['-DAMD64'] if arch == 'amd64' else []
    return _build(path, ['makensis', '-V2', '-NOCD', *defines, SOURCES / 'vtconsole.nsi'])


def build_package(path, bring_site_files=False):
    """The package at path; with bring_site_files, it copies the site's files from beside itself
    into the folder being installed before the launcher runs."""
    command = ['wixl', '-o', 'out', SOURCES / 'package.wxs']
    tables = [('CustomAction.idt', CUSTOM_ACTION)]
    tables += [('MoveFile.idt', MOVE_SITE_FILES)] if bring_site_files else []
    return _build(path, command, tables)
