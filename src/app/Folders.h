// The working folders and the small path operations they rest on.
//
// Paths use '/' as the separator and "/" as the root. Nothing here touches a widget; the window
// calls these at start-up (see Tfrmmain::FormCreate).
#pragma once

#include <QString>

namespace app {

// The folder of the running program file, resolved (no symbolic links), with a trailing '/'.
// Needs a QCoreApplication.
QString ProgramFolder();

// The user's documents folder without a trailing '/': the XDG documents directory, or the home
// folder when the system names none.
QString GetDocumentsFolder();

// The working folder inside a documents folder: documents + "/OmbrixDVD/Tonewright/".
// An empty documents path falls back to `home`.
QString DataFolderIn(const QString& documents, const QString& home);

// dataDir + "output/".
QString OutputFolderOf(const QString& dataDir);

// Adds (include = true) or removes (include = false) one trailing '/'. An empty path is returned
// unchanged; with include = false only the last character is removed, so "/a//" gives "/a/".
QString SetTrailingSeparator(const QString& path, bool include);

// The first index + 1 components of a relative path, each with its '/': for "a/b/c/", index 0
// gives "a/", 1 gives "a/b/", 2 gives "a/b/c/" and 3 gives "". A component without a closing '/'
// does not count (then the result is ""), and an index below 0 gives "".
QString PathHead(int index, const QString& path);

// Creates every missing folder of an absolute path, from the root down. False, creating nothing,
// for an empty or relative path and for the root itself; false when a level cannot be created
// (a file of that name is in the way, no permission): the levels above it stay. True when the
// whole chain exists afterwards.
bool ForceFolderChain(const QString& path);

}  // namespace app
