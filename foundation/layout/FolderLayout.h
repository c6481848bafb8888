// The installation and user-data folder layout.
//
// Every file the tool touches is found from two roots: the installation
// root (the parent of the folder that holds the running program, e.g.
// "/opt/game" for "/opt/game/bin/VandruUtil") and the user-data root, its
// folder "UserData". Start-up derives the installation root from
// GetModulePath and passes it to DetermineInstallPath, then calls
// CreateUserDataFolders; shut-down calls ReleaseFolderLayout.
//
// Paths keep their case and use "/"; they are compared byte-wise, as the
// file system does. Roots are normalised (forward slashes replaced, "." and
// ".." folded, no trailing "/"). Every getter answers an empty path while
// the installation root is unset.
//
// Layout (I = installation root, U = user-data root = I/UserData):
//   I/libraries/         GetLibrariesPath      substituted as "libraries"
//   I/scripts/           GetScriptsPath        substituted as "scripts"
//   I/builtin            GetBuiltinPath
//   I/bin/plugins        GetPluginFolderPath
//   I/bin/vaddaemon      GetDaemonExecutablePath
//   I/Data               content location "data"
//   U/assets.tdx         GetAssetIndexPath
//   U/cache              GetCachePath, content location "cache"
//   U/cache/libraries    GetLibraryCachePath
//   U/cache/bookmarks, sessions, water
//   U/local, original, editing, settings, backups   content locations
// Content locations are the seven resource databases "data", "local",
// "original", "backups", "editing", "cache" and "settings", acquired from
// the registry (foundation/ResourceDatabaseRegistry.h), which makes each
// name a file root for its folder. The names "local", "original",
// "backups", "editing", "cache" and "settings" lie in U; every other
// location name (e.g. "base", "data", "builtin/<name>") lies in I.
//
// Failure: DetermineInstallPath (or FinishUserDataCheck after
// BeginInstallPath) ends the process (FatalError, exit status 1) when the
// path is empty ("Unable to determine application installation
// path.") or the user-data folder cannot be written ("Unable to acquire
// write access to UserData folder."). Folder creation results are not
// examined. Nothing here throws.
//
// Threads: the roots are set at start-up, before other threads run, and
// only read afterwards; they are not locked.
#pragma once

#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"

// The real path of the running program (the target of /proc/self/exe).
// False (and `*out` unchanged) when it cannot be read.
bool GetModulePath(Kiv::File::Path* out);

// Sets both roots from the installation folder `path`, creates U and checks
// that a file can be created and removed there (through an unnamed file,
// O_TMPFILE, where the file system has them, which leaves nothing to
// remove; otherwise through an exclusively created temporary file). Then moves the legacy folders and files
// "original", "local", "editing", "cache", "trash", "settings",
// "screenshots" and "assets.tdx" from I into U where U has none of that
// name. Fatal on failure (see above); true otherwise.
bool DetermineInstallPath(const Kiv::File::Path& path);

// DetermineInstallPath for a program with more start-up work to do before
// it writes anything (the tool). When U exists already and I holds none of
// the legacy names, the roots are set and the write check of U runs: at
// once when an unnamed file can be made there, and otherwise (the named
// temporary file as above) on a thread of its own while the caller goes on
// (at once when no thread can be started); no legacy name is there to
// move. Otherwise it is DetermineInstallPath itself. FinishUserDataCheck waits for a check
// so begun and, when it failed, ends the process with the message and
// status of DetermineInstallPath; with no check running it returns at once.
// The caller finishes the check before anything that needs U writable: a
// daemon start, a command. Main thread only, like the roots.
bool BeginInstallPath(const Kiv::File::Path& path);
void FinishUserDataCheck();

// Creates the layout (renaming a legacy U/trash to U/backups when U has no
// backups), acquires the seven content locations and registers the roots
// "scripts" and "libraries". Does nothing while the installation root is
// unset. Called again, it releases the locations it held first.
void CreateUserDataFolders();

// Releases the seven content locations (their databases are deleted by the
// next SweepUnusedEntries) and removes the roots "scripts" and "libraries".
void ReleaseFolderLayout();

// For tests: ReleaseFolderLayout, forgets both roots, and sweeps the
// registry of resource databases (SweepUnusedEntries), so that the next
// layout registers the content locations of its own root rather than
// reusing the folders of this one. A database that something still holds
// stays registered.
void ResetFolderLayoutForTests();

Kiv::File::Path GetInstallPath();
Kiv::File::Path GetUserDataPath();
Kiv::File::Path GetLibrariesPath();
Kiv::File::Path GetScriptsPath();
Kiv::File::Path GetBuiltinPath();
Kiv::File::Path GetPluginFolderPath();
Kiv::File::Path GetDaemonExecutablePath();
Kiv::File::Path GetAssetIndexPath();
Kiv::File::Path GetCachePath();
Kiv::File::Path GetLibraryCachePath();

// The folder of a content location: U or I (see above) joined with the
// name ("Data" for the location "data"). Empty while the installation
// root is unset, and for an empty name or one that is rooted or climbs out
// with "..".
Kiv::File::Path GetContentFolderPath(const Kiv::PString& location);

// True when `path` lies below `base` or equals it, after both are
// normalised; whole components are compared, so "/a/bc" is not below
// "/a/b". `*relative` (may be null) gets the part below `base` ("" when
// equal) and is cleared when the answer is false. Either path empty: false.
bool IsPathUnder(const Kiv::File::Path& base, const Kiv::File::Path& path,
                 Kiv::File::Path* relative);

// Splits a full path into a content location and the path below it:
//   below U (not U itself)      location = first component below U
//   below I/builtin (not itself) location = "builtin/" + first component
//   below the folder of "base"  location = "base"
//   below the folder of "data"  location = "data"
// True on success. While the installation root is unset, both outputs are
// cleared and the answer is false. A `*location` that is already set is
// kept and the answer is true at once. Null outputs give false.
bool ResolveContentPath(const Kiv::File::Path& path, Kiv::PString* location,
                        Kiv::File::Path* relative);

// True when `path`, normalised (so ".." cannot lead out), lies below U, the
// library cache or I/libraries/.
bool IsInContentArea(const Kiv::File::Path& path);

// The library cache folder (created when missing) joined with the KUID's
// keyword text ("kuid U C" or "kuid2 U C V"). Empty while the installation
// root is unset.
Kiv::File::Path GetScriptCacheFolder(const KUID& kuid);

// Moves I/name to U/name. False for a null or empty name, a name that is
// not one plain component, when U/name already exists (nothing is
// replaced), or when the move fails; a move that fails while I/name exists
// is logged.
bool MoveToUserData(const char* name);
