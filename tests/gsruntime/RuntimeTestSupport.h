// Shared support of the runtime tests.
//
// - PrintCapture: while alive, GSPrintHook appends every message to
//   `lines`.
// - FakeInterpreter: while alive, GSThread::Execute runs no byte code: it
//   records the name of the function of the current frame and answers the
//   result chosen for that name (ER_Done by default), returning from the
//   frame (with 0 when the function returns a value) when it answers
//   ER_Done.
// - RuntimeFixture: a scratch folder registered as the file root "rttest",
//   an initialised machine of its own, a print capture, and helpers that
//   compile GameScript sources into libraries there and announce them.
// - ScriptObjectFixture: a RuntimeFixture with one context and one object
//   of a class compiled from a source (BuildObject, after the fixture has
//   registered its natives); the object goes before the context, the
//   context before the machine.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "GslCompileSupport.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSThread.h"

namespace GSTest {

struct PrintCapture {
  PrintCapture();
  ~PrintCapture();
  std::vector<std::string> lines;
  // Lines that contain `text`.
  size_t Count(const std::string& text) const;
};

struct FakeInterpreter {
  FakeInterpreter();
  ~FakeInterpreter();
  std::vector<std::string> calls;
  std::map<std::string, GSRuntime::GSResult> results;
};

class RuntimeFixture : public CompileFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Compiles `source` as `name` (".gs"), leaving "<name>.gsl" in the
  // folder; the library's bytes.
  std::vector<uint8_t> Build(const std::string& source, const std::string& name);
  void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
  // Announces `file` through AddLibrary; its id.
  GSRuntime::GSLibraryId Announce(const std::string& file);
  GSRuntime::GSLibrary* Load(const std::string& file);
  // Compiles the standard "gs.gs" and `source` as `name`, announces
  // "gs.gsl" and loads "<name>.gsl"; null when that fails.
  GSRuntime::GSLibrary* LoadWithStandardLibrary(const std::string& source,
                                                const std::string& name);

  Kiv::PString fileRoot_;
  std::unique_ptr<GSMachine> machine_;
  std::unique_ptr<PrintCapture> print_;
};

class ScriptObjectFixture : public RuntimeFixture {
 protected:
  void TearDown() override;

  // Compiles `source` as `name`, loads it and attaches object_ to its
  // class `className` in context_ (fatal test failures when any step fails).
  void BuildObject(const std::string& source, const std::string& name, const char* className);

  GSRuntime::GSClass* cls_ = nullptr;
  std::unique_ptr<GSRuntime::GSContext> context_ = std::make_unique<GSRuntime::GSContext>();
  GSRuntime::GSObject object_;
};

}  // namespace GSTest
