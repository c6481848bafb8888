// WebFixtures: where the daemon's web requests are served from. Nothing
// ever leaves the machine: a URL names a file in a local fixture folder.
//
// The folder is the value of the environment variable
// VADDAEMON_WEB_FIXTURES (read once). Without it every URL is unknown.
//
// Lookup of a URL (split with ParseUrl; scheme, user, host and port are not
// used): with P its path without the leading "/" and Q its query with the
// "?" (empty when none), the file <folder>/P + Q is taken when it exists,
// else <folder>/P. So "https://any.host/vandru/search.php?id=5" is served
// from "<folder>/vandru/search.php?id=5" or, failing that, from
// "<folder>/vandru/search.php" (a query holding "/" is not tried). A path that is empty, holds a
// ".." component or a NUL, or names no regular file is unknown. Paths that end in "/" are unknown.
//
// A fixture may ask for a status other than plain success with a text soup
// beside it named "<fixture>.webstatus.txt" (absent or unreadable: none):
//   pending 1      the request never finishes: its status stays not done,
//                  no notification 4 is sent, and it lives until the client
//                  closes it (0xE7) or its connection;
//   name "<text>"  the final status names that file inside the archive (its
//                  name field), as a daemon does for an archive member.
//
// Threads: pure functions of the URL, the folder and the files; safe
// anywhere.
#pragma once

#include <string>
#include <string_view>

namespace WebFixtures {

// The fixture folder from the environment ("" when unset).
const std::string& Folder();

// The file that serves `url` from `folder`; "" when there is none.
std::string Lookup(const std::string& folder, std::string_view url);

struct FixtureStatus {
  bool pending = false;
  std::string name;
};
// The status that the fixture file `fixture` asks for (see above).
FixtureStatus StatusOf(const std::string& fixture);

}  // namespace WebFixtures
