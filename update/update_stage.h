#ifndef VTCONSOLE_UPDATE_UPDATE_STAGE_H
#define VTCONSOLE_UPDATE_UPDATE_STAGE_H

// update/: included by launcher/, the tests and bench/; it includes platform/ and update/ alone.
//
// The launcher replaces its own executable in three processes, one stage each:
// the old launcher moves patches\VTConsole.exe to VTC_upd.exe and starts it (1), that updater
// copy writes itself beside VTConsole.exe, renames that over it and starts it (2), and the new
// launcher deletes the updater copy (3) before its normal start goes on.
constexpr int UPDATE_STAGE_START_UPDATER = 1;
constexpr int UPDATE_STAGE_REPLACE_LAUNCHER = 2;
constexpr int UPDATE_STAGE_REMOVE_UPDATER = 3;

// The files of the hand-over, relative to the application directory.
constexpr char PATCH_TREE[] = "patches";
constexpr char PENDING_LAUNCHER[] = "patches\\VTConsole.exe";
constexpr char UPDATER_FILE[] = "VTC_upd.exe";
constexpr char LAUNCHER_FILE[] = "VTConsole.exe";
// The new launcher as stage 2 writes it, beside the launcher, before it takes the launcher's
// place in one rename. Not an executable's name: left by a stage 2 cut short, it can be started
// by nobody, and stage 3 removes it.
constexpr char STAGED_LAUNCHER[] = "VTConsole.tmp";

// A file still held by the process that started us is retried this often, this far apart.
constexpr int UPDATE_RETRY_ATTEMPTS = 10;
constexpr unsigned UPDATE_RETRY_DELAY_MS = 1000;
// Stage 2 waits longer for the launcher it replaces: a start of the old launcher made while the
// hand-over began keeps it in use to its end, and that start may take as long as a start may
// wait for the installation's lock (name lookups that time out, a large patch tree).
constexpr int UPDATE_REPLACE_ATTEMPTS = 60;

// Runs one stage in the current directory, which is the application directory. Stages 1 and 2
// end the process with exit code 0 when they succeed, so their return means failure; stage 3
// always returns. Stage 3 deletes whatever updater copy it finds, and then the new launcher
// that a stage 2 cut short left beside the launcher: after a hand-over that did not finish,
// that drops the new launcher, and the start goes on with the old one rather than trying a copy
// again that may never start. Any other number does nothing.
void RunUpdateStage(int stage);

#endif
