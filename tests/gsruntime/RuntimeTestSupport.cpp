#include "RuntimeTestSupport.h"

#include <cstdarg>
#include <fstream>
#include <sstream>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSPrintHook.h"
#include "kiv/File.h"
#include "kiv/String.h"

namespace GSTest {

namespace {

PrintCapture* capture = nullptr;
FakeInterpreter* fake = nullptr;

void Capture(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Kiv::StringPrintfV(format, args);
  va_end(args);
  if (capture != nullptr) capture->lines.push_back(text);
}

GSRuntime::GSResult Fake(GSRuntime::GSThread& thread, float) {
  GSRuntime::GSStack& stack = thread.Stack();
  const GSRuntime::GSFunction* fn = GSRuntime::GSStack::FrameFunction(stack.CurrentFrame());
  fake->calls.push_back(fn->name);
  const auto it = fake->results.find(fn->name);
  const GSRuntime::GSResult result = it == fake->results.end() ? GSRuntime::ER_Done : it->second;
  if (result != GSRuntime::ER_Done) return result;
  if (fn->ReturnsValue()) {
    stack.Push(0);
    stack.ReturnValue(false);
  } else {
    stack.PopFrame();
  }
  return GSRuntime::ER_Done;
}

}  // namespace

PrintCapture::PrintCapture() {
  capture = this;
  GSPrintHook = Capture;
}

PrintCapture::~PrintCapture() {
  GSPrintHook = nullptr;
  capture = nullptr;
}

size_t PrintCapture::Count(const std::string& text) const {
  size_t n = 0;
  for (const std::string& line : lines) n += line.find(text) != std::string::npos;
  return n;
}

FakeInterpreter::FakeInterpreter() {
  fake = this;
  GSRuntime::GSThread::SetInterpreter(Fake);
}

FakeInterpreter::~FakeInterpreter() {
  GSRuntime::GSThread::SetInterpreter(nullptr);
  fake = nullptr;
}

void RuntimeFixture::SetUp() {
  CompileFixture::SetUp();
  fileRoot_ = Kiv::PString("rttest");
  Kiv::File::Subst(fileRoot_, root_.string());
  machine_ = std::make_unique<GSMachine>();
  machine_->Init();
  print_ = std::make_unique<PrintCapture>();
}

void RuntimeFixture::TearDown() {
  print_.reset();
  machine_.reset();
  Kiv::File::Subst(fileRoot_, "");
  CompileFixture::TearDown();
}

std::vector<uint8_t> RuntimeFixture::Build(const std::string& source, const std::string& name) {
  const CompiledUnit unit = Compile(source, name + ".gs");
  EXPECT_EQ(unit.result, 0) << name << ": " << (unit.log.empty() ? "" : unit.log.front());
  EXPECT_TRUE(unit.readable) << name << ": " << unit.readError;
  return unit.bytes;
}

void RuntimeFixture::WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  Write(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

GSRuntime::GSLibraryId RuntimeFixture::Announce(const std::string& file) {
  GSRuntime::GSLibraryId id{};
  EXPECT_TRUE(machine_->AddLibrary(fileRoot_, "", file, &id)) << file;
  return id;
}

GSRuntime::GSLibrary* RuntimeFixture::Load(const std::string& file) {
  return machine_->GetLibrary(Announce(file));
}

GSRuntime::GSLibrary* RuntimeFixture::LoadWithStandardLibrary(const std::string& source,
                                                              const std::string& name) {
  std::ifstream in(VU_SOURCE_DIR "/gsnative/libraries/gs.gs", std::ios::binary);
  std::stringstream gs;
  gs << in.rdbuf();
  Build(gs.str(), "gs");
  Build(source, name);
  Announce("gs.gsl");
  return Load(name + ".gsl");
}

void ScriptObjectFixture::BuildObject(const std::string& source, const std::string& name,
                                      const char* className) {
  Build(source, name);
  GSRuntime::GSLibrary* library = Load(name + ".gsl");
  ASSERT_NE(library, nullptr);
  cls_ = library->FindClass(className);
  ASSERT_NE(cls_, nullptr);
  ASSERT_TRUE(object_.AttachScriptInstance(cls_, context_.get()));
}

void ScriptObjectFixture::TearDown() {
  object_.Detach();
  context_.reset();  // before the machine whose classes its objects use
  RuntimeFixture::TearDown();
}

}  // namespace GSTest
