#include "render/textures/SourceNamesOnSignal.h"

#include <iterator>

#include "render/textures/HeldSourceNames.h"

namespace {

void OnStopSignal(int signal_number) {
  GiveHeldSourceNamesBack();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // blocked until this returns, then fatal
}

}  // namespace

SourceNamesOnSignal::SourceNamesOnSignal() {
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kSignals) sigaddset(&action.sa_mask, signal_number);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &previous_[i]);
    if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
  }
}

SourceNamesOnSignal::~SourceNamesOnSignal() {
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
}
