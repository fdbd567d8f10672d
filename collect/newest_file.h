// The search for the newest installer log of one kind in the user's
// temporary folder.
#pragma once

#include "platform/text.h"

namespace velmora {

// Looks in the temporary folder (never its subfolders) for the files whose
// names match `pattern` and do not contain `exclusion` (a case-sensitive
// substring; empty means none), and takes the one with the latest
// last-write time, the first one yielded on a tie. True when a file was
// taken: `name` is then its long name and `path` the temporary folder
// followed by it. False leaves both untouched; so does a temporary folder
// that cannot be found, which is never searched in its place. Folders are
// passed over even when their names match.
bool FindNewestFile(WString& name, const WString& exclusion, const WString& pattern, WString& path);

}  // namespace velmora
