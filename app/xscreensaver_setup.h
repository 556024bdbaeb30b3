// Adding the saver to a person's XScreenSaver settings (~/.xscreensaver):
// the one entry in its "programs:" list that starts us as a hack.
#pragma once

#include <string>

// The entry's command, as the daemon runs it.
inline constexpr const char* kXScreenSaverCommand = "marivelle --root";

// The settings text with our entry in its programs list; the same text when
// the entry is there already. A text without a programs list gets one that
// holds our entry alone.
std::string WithXScreenSaverEntry(const std::string& settings);

// Adds the entry to the file (created when missing), replacing it in one
// step, after one backup of the original ("<file>.bak", made
// only when there is none yet). Returns what happened, for the person;
// raises Exception with the reason when the file cannot be read or written,
// leaving it as it was.
std::string InstallXScreenSaverEntry(const std::string& fileName);
