"""The main job: the release launcher under Wine on the sample installation, and what it did.

Lays out the sample installation in build/demo with a Wine prefix of its own, starts the
launcher as a user would, and prints in a few lines what came of it.
"""

import shutil
import sys

from harness import (BUILD_DIR, LAUNCHER, WinePrefix, make_installation, read_standin_log,
                     windows_path)
from installers import build_nsis_installer
from update_support import NEW_BUILD_MARK, new_launcher_bytes, write_file


def files_below(directory):
    return {str(path.relative_to(directory)): path.read_bytes()
            for path in sorted(directory.rglob('*')) if path.is_file()}


def show_start(prefix, root, title, arguments=()):
    app = root / 'app'
    log = root / 'standin.log'
    before = files_below(app)
    run = prefix.run(app / 'VTConsole.exe', arguments, cwd=app,
                     env={'VT_STANDIN_LOG': windows_path(log)})
    after = files_below(app)
    print(f'== {title}')
    print(f'   exit code: {run.exit_code}')
    print(f'   message box: {run.message_boxes[0]!r}' if run.message_boxes else '   message box: none')
    for command, flags in run.process_starts:
        print(f'   CreateProcessA: {command}  (creation flags {flags:#x})')
    for start in read_standin_log(log):
        print(f'   started: {start["program"]} in {start["directory"]}')
        print(f'            command line: {start["command_line"]}')
    for name in sorted(set(before) | set(after)):
        if name not in after:
            print(f'   file removed: {name}')
        elif name not in before:
            print(f'   file added: {name} ({len(after[name])} bytes)')
        elif before[name] != after[name]:
            print(f'   file changed: {name}')
    log.unlink(missing_ok=True)
    return run


# --- Self-update ---------------------------------------------------------------------------------

def describe(name, content):
    if name.endswith('.exe'):
        build = 'new build' if content.endswith(NEW_BUILD_MARK) else 'old build'
        return f'{len(content)} bytes, {build}'
    return repr(content.decode('latin-1')) if len(content) <= 40 else f'{len(content)} bytes'


def show_self_update(prefix, root):
    """An update has left a new launcher and a changed client below patches: one start applies
    both, through the updater copy, and starts the client."""
    app = root / 'app'
    write_file(app / 'patches/VTConsole.exe', new_launcher_bytes())
    write_file(app / 'patches/lib/vt-client.jar', 'client 2.1')
    write_file(app / 'update.bat', '@rem left by the update')
    interesting = ('VTConsole.exe', 'VTC_upd.exe', 'update.bat', 'lib/vt-client.jar',
                   'patches/VTConsole.exe', 'patches/lib/vt-client.jar')
    print('== Self-update: a new launcher and a changed client wait below patches')
    print('   before:')
    for name in interesting:
        if (app / name).is_file():
            print(f'      {name}: {describe(name, (app / name).read_bytes())}')
    run = show_start(prefix, root, 'Self-update: one start of the old launcher')
    print(f'   waits for a file in use: {len(run.sleeps)} x 1000 ms' if run.sleeps
          else '   waits for a file in use: none')
    print('   after:')
    for name in interesting:
        if (app / name).is_file():
            print(f'      {name}: {describe(name, (app / name).read_bytes())}')
    print(f'      patches: {"still there" if (app / "patches").exists() else "gone"}')
    return run


# --- Client configuration: connection list, hosts file, registry ---------------------------------

def show_client_configuration(prefix, root):
    """What the starts prepared for the client: in a fresh installation where only the main
    server's name resolves, its address gives way to its name; the numeric hosts of the demo's
    starts got hosts-file entries; the registry got its values."""
    app = make_installation(root / 'configuration')
    before = (app / 'conf' / 'default-connections.xml').read_text().splitlines()
    prefix.run(app / 'VTConsole.exe', cwd=app, resolve=('main.veltrix.example',),
               env={'VT_STANDIN_LOG': windows_path(root / 'configuration.log')})
    print('== Client configuration (fresh installation; only main.veltrix.example resolves)')
    after = (app / 'conf' / 'connections.xml').read_text().splitlines()
    for old, new in zip(before, after):
        if old != new:
            print(f'   connections.xml: {old.strip()}  ->  {new.strip()}')
    hosts = prefix.hosts_file.read_bytes().decode('latin-1')
    first = hosts.find('\r\n# Automatically inserted by Veltrix Console')
    print(f'   {prefix.hosts_file.relative_to(prefix.path)}, lines the starts appended:')
    for line in (hosts[first:] if first >= 0 else '').splitlines():
        print(f'     {line}')
    for key in (r'HKCU\Software\Microsoft\Internet Explorer\Main\FeatureControl'
                r'\FEATURE_HTTP_USERNAME_PASSWORD_DISABLE',
                r'HKCU\Software\JavaSoft\Prefs\vt_2_0'):
        print(f'   {key}')
        for name, (kind, data) in prefix.query_values(key).items():
            print(f'     {name} = {kind} {data}')

# --- Install mode -------------------------------------------------------------------------------

def show_install_mode(prefix, root):
    """A 32-bit NSIS installer (installers/vtconsole.nsi), with the site's services.xml and
    connections.xml beside it, installs the launcher and Setup.exe (a stand-in that records its
    start and end) and runs the launcher with --install in the installed folder."""
    installer, target, log = root / 'installer', root / 'installed', root / 'install.log'
    installer.mkdir()
    for name in ('services.xml', 'connections.xml'):
        (installer / name).write_text(f"<!-- the site's {name} -->\n")
    build_nsis_installer(installer / 'setup.exe', 'x86')
    run = prefix.run(installer / 'setup.exe', ['/S', f'/D={windows_path(target)}'], cwd=root,
                     env={'VT_STANDIN_LOG': windows_path(log)})
    print(f'== Install mode: {windows_path(installer)}\\setup.exe (NSIS, 32-bit) installs into '
          f'{windows_path(target)} and runs VTConsole.exe --install there')
    print(f'   exit code (the launcher\'s, passed on by the installer): {run.exit_code}')
    print(f'   message box: {run.message_boxes[0]!r}' if run.message_boxes
          else '   message box: none')
    for command, flags in run.process_starts:
        print(f'   CreateProcessA: {command}  (creation flags {flags:#x})')
    records = read_standin_log(log)
    for record in records:
        print(f'   {record["event"]}: {record["program"]} in {record["directory"]}')
    ran = [record['seconds'] for record in records if record['program'] == 'Setup.exe']
    if len(ran) == 2:
        print(f'   Setup.exe ran for {ran[1] - ran[0]:.3f} s, while the launcher waited')
    for name in ('services.xml', 'connections.xml'):
        taken = (target / name).exists()
        print(f'   {name} in the installed folder: {"taken over" if taken else "not taken over"}')
    return run


# --- A start that fails, with the account for support --------------------------------------------

def show_failed_start_account(prefix, root):
    """The sample installation without its Java runtime fails to start; with VTCONSOLE_LOG set,
    the launcher's account says why."""
    app = make_installation(root / 'no-runtime', client=False)
    account = root / 'no-runtime' / 'VTConsole.log'
    run = prefix.run(app / 'VTConsole.exe', cwd=app, resolve=('main.veltrix.example',),
                     env={'VTCONSOLE_LOG': windows_path(account)})
    print(f'== A start without the Java runtime, with VTCONSOLE_LOG={windows_path(account)}')
    print(f'   exit code: {run.exit_code}')
    print(f'   message box: {run.message_boxes[0]!r}' if run.message_boxes
          else '   message box: none')
    print('   the account:')
    for line in account.read_text(encoding='latin-1').splitlines():
        print(f'     {line}')
    return run


def main():
    root = BUILD_DIR / 'demo'
    prefix = WinePrefix(path=root / 'wine')
    prefix.stop()
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    print(f'VTConsole.exe: {LAUNCHER.stat().st_size} bytes')
    make_installation(root)
    print(f'Sample installation: {windows_path(root / "app")} (Wine prefix {prefix.path})')
    prefix.start()
    try:
        run = show_start(prefix, root, 'Normal start')
        update = show_self_update(prefix, root)
        show_client_configuration(prefix, root)
        install = show_install_mode(prefix, root)
        failed = show_failed_start_account(prefix, root)
    finally:
        prefix.stop()
    return 0 if all(r.exit_code == 0 for r in (run, update, install)) and failed.exit_code == 1 \
        else 1


if __name__ == '__main__':
    sys.exit(main())
