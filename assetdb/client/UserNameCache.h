// User names of content authors: LookupUserName and the process-wide
// UserNameCache that keeps the daemon's answers (request 0x5A) for the life
// of the process.
//
// LookupUserName(user id): fixed ids are answered at once, with second id
// -1: 0 "-", -2 "unknown", any other negative id "Orvak", and the nine ids
// of kMakerAccounts "Orvak". Otherwise a cached answer is given; on a miss
// the daemon is asked (body u32 user id; reply u32 second id, -1 when
// absent, then the interned name) and the answer is cached and given. A
// failed request gives the empty name and -1 and is not cached. Always
// answers true. ReadUserNameReply reads such a reply (the name lower-cased;
// a reply cut short gives -1 and the empty name for what it lacks).
//
// The cache holds entries {name (lower-cased), second id, user id} with an
// index by each of the three. Insert does nothing for second id -1 with an
// empty name; otherwise it lower-cases the name, removes every entry found
// under the same user id, second id or name, and adds the new entry, indexed
// by user id, by second id unless it is -1, and by name unless it is empty.
//
// Threads: the cache is guarded by a lock of its own (script natives may
// look names up from other threads); no lock is held while the daemon is
// asked.
#pragma once

#include <array>
#include <cstdint>

#include "kiv/PString.h"

class TStream;

// The maker's own accounts, named "Orvak" without asking the daemon. The
// ids sit at the top of the 24-bit user-id range, which the daemon never
// hands out to local users.
inline constexpr std::array<int32_t, 9> kMakerAccounts = {
    16777207, 16777208, 16777209, 16777210, 16777211, 16777212, 16777213, 16777214, 16777215};

class UserNameCache {
 public:
  // Empties the cache (start-up and exit).
  static void Init();
  static void Clear();
  static void Insert(int32_t secondId, const Kiv::PString& name, int32_t userId);
  // The cached entry of `userId`; false when there is none.
  static bool Find(int32_t userId, int32_t& secondId, Kiv::PString& name);
  static uint32_t Count();
};

bool LookupUserName(int32_t userId, int32_t& secondId, Kiv::PString& name);
void ReadUserNameReply(TStream& reply, int32_t& secondId, Kiv::PString& name);
// LookupUserName with an empty name preset; the name.
Kiv::PString GetUserName(int32_t userId);
