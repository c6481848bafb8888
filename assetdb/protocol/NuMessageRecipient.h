// NuMessageRecipient and NuMessageData: a minimal announcement mechanism.
//
// A NuMessageData is a named announcement with one value word (for the
// results log's announcements, the address of the log).
//
// A NuMessageRecipient keeps a list of links. Each link names a listener
// (which hears what this recipient announces) and a holder (told with a
// "pipe-closed" announcement, whose value is the link's listener, when the
// link is detached). Announce hands an announcement to the Receive of every
// listener, in link order. Receive forwards to ForwardTarget when that is not
// null, else answers 1. The destructor detaches every link, first to last.
//
// Ownership: the recipient owns its links; listeners and holders are not
// owned and must outlive the links that name them.
//
// Threads: the link list has a lock of its own. Announce takes a copy of the
// listeners under that lock and calls them without it, so a listener may
// detach links from within Receive. Announce is called by the owner while
// the owner's own lock is held (ResultsLog), so a listener must not wait for
// another thread that needs the owner.
#pragma once

#include <cstdint>
#include <mutex>

#include "kiv/PString.h"

struct NuMessageData {
  NuMessageData(const Kiv::PString& messageName, uintptr_t messageValue)
      : name(messageName), value(messageValue) {}
  virtual ~NuMessageData() = default;

  Kiv::PString name;
  uintptr_t value = 0;
};

class NuMessageRecipient {
 public:
  struct Link {
    NuMessageRecipient* listener = nullptr;
    NuMessageRecipient* holder = nullptr;
    Link* next = nullptr;
  };

  NuMessageRecipient() = default;
  NuMessageRecipient(const NuMessageRecipient&) = delete;
  NuMessageRecipient& operator=(const NuMessageRecipient&) = delete;

  // The recipient that received announcements are forwarded to; none here.
  virtual NuMessageRecipient* ForwardTarget() { return nullptr; }
  // The forward target's Receive when there is one, else 1.
  virtual uint32_t Receive(const NuMessageData& data);
  // Detaches every link, first to last.
  virtual ~NuMessageRecipient();
  // Kept for derived classes; answers 0.
  virtual uint32_t Reserved() { return 0; }

  // Links a listener (and the holder told when the link goes) at the end of
  // the list; answers the link, owned by this recipient.
  Link* AddLink(NuMessageRecipient* listener, NuMessageRecipient* holder);
  // Clears the link's holder, unlinks and frees the link, then tells the
  // holder (when there was one) with "pipe-closed". A link that is not in
  // this recipient's list is left alone.
  void Detach(Link* link);
  uint32_t LinkCount() const;

  // The interned announcement names.
  static const Kiv::PString& ListUpdatedName();
  static const Kiv::PString& ListDestroyedName();
  static const Kiv::PString& PipeClosedName();

 protected:
  // Hands `data` to every listener's Receive, in link order.
  void Announce(const NuMessageData& data);

 private:
  mutable std::mutex linksMutex_;
  Link* links_ = nullptr;
};
