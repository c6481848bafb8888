// The validation library's process-wide objects, as far as start-up and
// shut-down use them.
//
// ErrorHandler and DataManager are single instances: CreateInstance makes
// the one instance (a second call keeps the first and answers true),
// DestroyInstance deletes it (nothing when there is none), Instance answers
// it. DataManager::Instance ends the process with the fatal error
// "DataManager::Instance> datamanger not initialised" when none exists.
// AttachEngine keeps the engine record it is given (the record stays owned
// by the caller and must outlive the attachment); the checks that would use
// it come with the validation work, so RegisterVandruBumpVertexType has no
// materials to load yet and succeeds. ReleaseRenderGlobals does nothing
// while no render references were made. All of this runs on the main
// thread, at start-up and shut-down.
#pragma once

#include <string>

struct EngineObjects;

namespace TETLib {

class ErrorHandler {
 public:
  static bool CreateInstance();
  static void DestroyInstance();
  static ErrorHandler* Instance();  // Null while none exists.
};

class DataManager {
 public:
  static bool CreateInstance(const char* dataFolder);
  static void DestroyInstance();
  static DataManager* Instance();

  bool AttachEngine(EngineObjects* engine);
  bool RegisterVandruBumpVertexType();

  const std::string& GetDataFolder() const { return dataFolder_; }
  EngineObjects* GetEngine() const { return engine_; }

 private:
  std::string dataFolder_;
  EngineObjects* engine_ = nullptr;
};

void ReleaseRenderGlobals();

}  // namespace TETLib
