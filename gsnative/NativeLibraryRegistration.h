// The registration of the native classes that scripts use, and of the
// standard script libraries that declare them ("gs.gsl", "kuid.gsl",
// "Soup.gsl", ... in the installation's "libraries" folder).
//
// RegisterNativeLibraries(): once per process, against the process's
// machine (GetGSMachine) and the file root "libraries":
//   1. announces every library of the folder (GSMachine::AddLibraryFolder);
//   2. finds "GameObject" in "gs.gsl"; failing that, returns false before
//      any native class is registered;
//   3. registers the natives of each native class, in the order of
//      NativeClassRegistrars();
//   4. finds each native class's script class in its library, in the order
//      of ScriptClassLookups(), and returns false at the first that is
//      missing (the natives stay registered).
// True when every lookup succeeded. After a success, later calls return
// true at once. After a failure, a later call tries the lookups again (a
// library whose load failed is read again by the machine) without
// announcing the folder a second time, so "Could not add game script
// library ..." is not repeated, and without registering any native twice;
// it answers with its own outcome, never with an earlier one. Nothing is
// printed here: the machine prints why a library cannot be found or loaded.
// Natives whose native classes are not built yet stay unbound when their
// libraries link ("Could not resolve native link ...").
//
// FindScriptClass(library, className, out): clears *out; finds the
// library by its file name ("gs.gsl"; loaded and linked on first use) and
// stores its class of that name in *out. True when both exist.
//
// Not thread-safe: call from the thread that runs scripts.
#pragma once

#include <string_view>
#include <vector>

#include "gsruntime/GSMachine.h"
#include "kiv/PString.h"

namespace GSRuntime {
class GSClass;
}

bool FindScriptClass(std::string_view library, std::string_view className,
                     GSRuntime::GSClass** out);
bool FindScriptClass(GSMachine& machine, std::string_view library, std::string_view className,
                     GSRuntime::GSClass** out);

bool RegisterNativeLibraries();

// The natives of the classes that "gs.gs" declares beside the game object
// (Str, Math, LinkedList) belong to the machine itself: "gs.gsl" links as
// soon as it is announced, before the native classes register, so these
// must be known from the machine's start. Call before the first
// GetGSMachine (RegisterNativeLibraries calls it too); later calls do
// nothing.
void AddCommonIncludeRegistrars();

// One native class's registrar; null while the class has no natives built.
struct NativeClassRegistrar {
  const char* className;
  GSNativeRegistrar registerNatives;
};

// Where a native class's script class is declared, and where it is kept.
struct ScriptClassLookup {
  const char* library;
  const char* className;
  GSRuntime::GSClass** found;
};

// The native classes in the order their natives are registered.
const std::vector<NativeClassRegistrar>& NativeClassRegistrars();
// The script classes in the order they are looked up: "GameObject" of
// "gs.gsl" first (before any native registers), then "KUID" and "Soup",
// then the class of every other native class.
const std::vector<ScriptClassLookup>& ScriptClassLookups();

// The script classes the registration keeps for the game object, KUID and
// Soup; null until found.
extern GSRuntime::GSClass* gGameObjectScriptClass;
extern GSRuntime::GSClass* gKUIDScriptClass;
extern GSRuntime::GSClass* gSoupScriptClass;

// The steps of RegisterNativeLibraries over a given machine, root and
// lists; RegisterNativeLibraries keeps one for the process.
class NativeLibraryRegistration {
 public:
  NativeLibraryRegistration(GSMachine& machine, Kiv::PString root,
                            std::vector<NativeClassRegistrar> registrars,
                            std::vector<ScriptClassLookup> lookups);

  bool Run();

 private:
  enum class Stage { kNew, kAnnounced, kRegistered, kDone };

  bool Find(const ScriptClassLookup& lookup);

  GSMachine& machine_;
  Kiv::PString root_;
  std::vector<NativeClassRegistrar> registrars_;
  std::vector<ScriptClassLookup> lookups_;
  Stage stage_ = Stage::kNew;
};
