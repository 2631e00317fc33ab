// What the program does for its files and its process before the window opens.
#pragma once

// Sets the core-dump size limit to 0: a core file would hold the account secrets.
// PLUMFINCH_CORE_DUMPS=1 in the environment keeps the limit as it was (for debugging).
// True when dumps are now off.
bool DisableCoreDumps();

// Readies the settings folder: removes temporary files a crash in the middle of a save
// left there (they hold a full copy of the settings), makes an existing Setting.ini of
// this user mode 0600, and reports in the status log a folder passed over as unsafe, a
// settings file that is not used, and a stored proxy port that cannot be used.
void PrepareSettingsAtStart();
