// SystemMenuIconHost: the requests a script library ("Library") makes
// about an icon of its own in a system menu, and the native bodies that
// read the requests' arguments and forward them.
//
// A script context that can show such icons derives from this class (as
// well as from GSRuntime::GSContext) and overrides the three requests. The
// base ignores them, and so does the tool's script context: nothing here
// shows an icon. A library's host is its context seen as a host
// (HostOf; null when the context is none or not a host, and the requests
// then go nowhere).
//
// The natives (the library's own natives call them after their own checks):
// - ForwardAddSystemMenuIcon(host, library, icon, stack, flagArgument):
//   `icon` is argument 1's asset KUID, which the caller read (a null or
//   foreign Asset argument stops the thread there). Reads arguments 2 and
//   3 as texts, a null or empty string giving the empty text (never an
//   error), and, with `flagArgument`, argument 4 as the flag, else true;
//   then SetSystemMenuIcon.
// - ForwardRemoveSystemMenuIcon: SetSystemMenuIcon with the null KUID, two
//   empty texts and false.
// - ForwardBlinkSystemMenuIcon: argument 1 as the int count.
// - ForwardShowSystemMenuIconMenu: the call's stack, from which a host
//   reads the Menu argument; the native itself does not read it.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>

#include "foundation/text/KUID.h"
#include "kiv/PString.h"

namespace GSRuntime {
class GSObject;
class GSStack;
}  // namespace GSRuntime

class SystemMenuIconHost {
 public:
  virtual ~SystemMenuIconHost() = default;

  // Sets the library's icon, or removes it (the null KUID and empty texts).
  virtual void SetSystemMenuIcon(GSRuntime::GSObject* library, const KUID& icon,
                                 const Kiv::PString& tooltip, const Kiv::PString& message,
                                 bool flag);
  virtual void BlinkSystemMenuIcon(GSRuntime::GSObject* library, int32_t count);
  virtual void ShowSystemMenuIconMenu(GSRuntime::GSObject* library, GSRuntime::GSStack& stack);

  static SystemMenuIconHost* HostOf(const GSRuntime::GSObject* library);
};

void ForwardAddSystemMenuIcon(SystemMenuIconHost* host, GSRuntime::GSObject* library,
                              const KUID& icon, GSRuntime::GSStack& stack, bool flagArgument);
void ForwardRemoveSystemMenuIcon(SystemMenuIconHost* host, GSRuntime::GSObject* library);
void ForwardBlinkSystemMenuIcon(SystemMenuIconHost* host, GSRuntime::GSObject* library,
                                GSRuntime::GSStack& stack);
void ForwardShowSystemMenuIconMenu(SystemMenuIconHost* host, GSRuntime::GSObject* library,
                                   GSRuntime::GSStack& stack);
