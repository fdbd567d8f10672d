// The installed-applications list the tool writes itself where WMIC cannot:
// read from the registry's uninstall entries and written in the form WMIC
// writes "product get name, version", so that everything that reads WMIC's
// list reads this one unchanged.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmora {

// The rows Windows' own list of installed programs shows: every entry with
// a name, system components and updates left out, sorted by name (letter
// case aside, then as written), the same name and version only once.
std::vector<UninstallEntry> ListedPrograms(std::vector<UninstallEntry> entries);

// The table as WMIC writes it to a file: UTF-16LE after a byte-order mark,
// a "Name" and a "Version" column each as wide as its widest cell plus two
// blanks (counted in characters, a surrogate pair being one), every line
// ended by CR LF.
std::string FormatInstalledAppsList(const std::vector<UninstallEntry>& rows);

// Writes the list of the installed programs to `path`, replacing what is
// there. Nothing is written when the registry cannot be read at all: an
// empty list would say that nothing is installed. True once written.
bool WriteInstalledAppsList(const WString& path);

}  // namespace velmora
