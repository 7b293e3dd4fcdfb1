#ifndef VTCONSOLE_UPDATE_PATCH_TREE_H
#define VTCONSOLE_UPDATE_PATCH_TREE_H

// Merges the entry at source (a path relative to the current directory, "patches" at the top)
// into the directory prefix (an absolute path ending in a backslash): files are moved over
// what is there, missing directories are created, and each emptied source directory is removed.
// Nonzero when the entry was moved or merged and removed, 0 on failure.
int MovePatchTree(const char* source, const char* prefix);

#endif
