#include "tetlib/TETLib.h"

#include <new>

#include "foundation/LogMessage.h"

namespace TETLib {
namespace {

ErrorHandler* gErrorHandler = nullptr;
DataManager* gDataManager = nullptr;

}  // namespace

bool ErrorHandler::CreateInstance() {
  if (gErrorHandler == nullptr) gErrorHandler = new (std::nothrow) ErrorHandler();
  return gErrorHandler != nullptr;
}

void ErrorHandler::DestroyInstance() {
  delete gErrorHandler;
  gErrorHandler = nullptr;
}

ErrorHandler* ErrorHandler::Instance() { return gErrorHandler; }

bool DataManager::CreateInstance(const char* dataFolder) {
  if (gDataManager != nullptr) return true;
  gDataManager = new (std::nothrow) DataManager();
  if (gDataManager == nullptr) return false;
  gDataManager->dataFolder_ = dataFolder ? dataFolder : "";
  return true;
}

void DataManager::DestroyInstance() {
  delete gDataManager;
  gDataManager = nullptr;
}

DataManager* DataManager::Instance() {
  if (gDataManager == nullptr) FatalError("DataManager::Instance> datamanger not initialised");
  return gDataManager;
}

bool DataManager::AttachEngine(EngineObjects* engine) {
  engine_ = engine;
  return true;
}

bool DataManager::RegisterVandruBumpVertexType() { return true; }

void ReleaseRenderGlobals() {}

}  // namespace TETLib
