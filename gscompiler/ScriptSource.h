// ScriptSource: the base class of objects that carry a script text of their
// own (scriptable objects build on it).
//
// The base keeps no text: GetSourceText answers an empty string,
// SetSourceText ignores its text, SaveScriptSource writes nothing and
// LoadScriptSource reads nothing. Derived classes keep their text and
// override all four. Safe pointers (SafePointer<ScriptSource>) may refer to
// the object; destroying it clears them, so none dangles. Nothing here
// fails. Not thread-safe.
#pragma once

#include "foundation/containers/SafePointer.h"
#include "foundation/stream/TStream.h"
#include "kiv/String.h"

class ScriptSource : public SafePointerTarget<ScriptSource> {
 public:
  ScriptSource() = default;
  virtual ~ScriptSource() = default;

  virtual Kiv::String GetSourceText() { return Kiv::String(); }
  virtual void SetSourceText(Kiv::String text) { (void)text; }
  virtual void SaveScriptSource(TStream& stream) { (void)stream; }
  virtual void LoadScriptSource(TStream& stream) { (void)stream; }
};
