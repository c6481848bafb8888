#include "assetdb/protocol/NuMessageRecipient.h"

#include <vector>

uint32_t NuMessageRecipient::Receive(const NuMessageData& data) {
  NuMessageRecipient* target = ForwardTarget();
  if (target != nullptr) return target->Receive(data);
  return 1;
}

NuMessageRecipient::~NuMessageRecipient() {
  for (;;) {
    Link* first = nullptr;
    {
      std::lock_guard<std::mutex> guard(linksMutex_);
      first = links_;
    }
    if (first == nullptr) return;
    Detach(first);
  }
}

NuMessageRecipient::Link* NuMessageRecipient::AddLink(NuMessageRecipient* listener,
                                                      NuMessageRecipient* holder) {
  Link* link = new Link{listener, holder, nullptr};
  std::lock_guard<std::mutex> guard(linksMutex_);
  Link** end = &links_;
  while (*end != nullptr) end = &(*end)->next;
  *end = link;
  return link;
}

void NuMessageRecipient::Detach(Link* link) {
  NuMessageRecipient* holder = nullptr;
  NuMessageRecipient* listener = nullptr;
  {
    std::lock_guard<std::mutex> guard(linksMutex_);
    Link** at = &links_;
    while (*at != nullptr && *at != link) at = &(*at)->next;
    if (*at == nullptr) return;
    *at = link->next;
    holder = link->holder;
    listener = link->listener;
    link->holder = nullptr;
  }
  delete link;
  if (holder == nullptr) return;
  holder->Receive(NuMessageData(PipeClosedName(), reinterpret_cast<uintptr_t>(listener)));
}

uint32_t NuMessageRecipient::LinkCount() const {
  std::lock_guard<std::mutex> guard(linksMutex_);
  uint32_t n = 0;
  for (const Link* l = links_; l != nullptr; l = l->next) ++n;
  return n;
}

void NuMessageRecipient::Announce(const NuMessageData& data) {
  std::vector<NuMessageRecipient*> listeners;
  {
    std::lock_guard<std::mutex> guard(linksMutex_);
    for (const Link* l = links_; l != nullptr; l = l->next) {
      if (l->listener != nullptr) listeners.push_back(l->listener);
    }
  }
  for (NuMessageRecipient* listener : listeners) listener->Receive(data);
}

const Kiv::PString& NuMessageRecipient::ListUpdatedName() {
  static const Kiv::PString name("list-updated");
  return name;
}

const Kiv::PString& NuMessageRecipient::ListDestroyedName() {
  static const Kiv::PString name("list-destroyed");
  return name;
}

const Kiv::PString& NuMessageRecipient::PipeClosedName() {
  static const Kiv::PString name("pipe-closed");
  return name;
}
