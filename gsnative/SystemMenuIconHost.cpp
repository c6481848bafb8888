#include "gsnative/SystemMenuIconHost.h"

#include "gsnative/StringParams.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSObject.h"

using namespace GSRuntime;

void SystemMenuIconHost::SetSystemMenuIcon(GSObject*, const KUID&, const Kiv::PString&,
                                           const Kiv::PString&, bool) {}

void SystemMenuIconHost::BlinkSystemMenuIcon(GSObject*, int32_t) {}

void SystemMenuIconHost::ShowSystemMenuIconMenu(GSObject*, GSStack&) {}

SystemMenuIconHost* SystemMenuIconHost::HostOf(const GSObject* library) {
  if (library == nullptr) return nullptr;
  return dynamic_cast<SystemMenuIconHost*>(library->Context());
}

void ForwardAddSystemMenuIcon(SystemMenuIconHost* host, GSObject* library, const KUID& icon,
                              GSStack& stack, bool flagArgument) {
  Kiv::PString tooltip;
  Kiv::PString message;
  if (!CheckStringParam(stack, 2, tooltip, true) || !CheckStringParam(stack, 3, message, true))
    return;
  const bool flag = flagArgument ? GSInt(GSNativeArg(stack, 4)) != 0 : true;
  if (host != nullptr) host->SetSystemMenuIcon(library, icon, tooltip, message, flag);
}

void ForwardRemoveSystemMenuIcon(SystemMenuIconHost* host, GSObject* library) {
  if (host != nullptr)
    host->SetSystemMenuIcon(library, kNullKUID, Kiv::PString(), Kiv::PString(), false);
}

void ForwardBlinkSystemMenuIcon(SystemMenuIconHost* host, GSObject* library, GSStack& stack) {
  if (host != nullptr) host->BlinkSystemMenuIcon(library, GSInt(GSNativeArg(stack, 1)));
}

void ForwardShowSystemMenuIconMenu(SystemMenuIconHost* host, GSObject* library, GSStack& stack) {
  if (host != nullptr) host->ShowSystemMenuIconMenu(library, stack);
}
