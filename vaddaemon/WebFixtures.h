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
// "<folder>/vandru/search.php" (a query holding "/" is not tried). A path that is empty, holds a ".."
// component or a NUL, or names no regular file is unknown. Paths that
// end in "/" are unknown.
//
// Threads: pure functions of the URL and the folder; safe anywhere.
#pragma once

#include <string>
#include <string_view>

namespace WebFixtures {

// The fixture folder from the environment ("" when unset).
const std::string& Folder();

// The file that serves `url` from `folder`; "" when there is none.
std::string Lookup(const std::string& folder, std::string_view url);

}  // namespace WebFixtures
