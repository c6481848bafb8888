#include "tetlib/ErrorHandler.h"

#include <cstdio>
#include <new>

#include "foundation/spec/InterfaceTextDB.h"
#include "tetlib/Container.h"
#include "tetlib/Tag.h"

namespace TETLib {
namespace {

ErrorHandler* gErrorHandler = nullptr;

const char* PrefixKey(uint32_t level) {
  if (level == ErrorHandler::kError) return "$tet_eh_error";
  if (level == ErrorHandler::kWarning) return "$tet_eh_warning";
  return "$tet_eh_message";
}

}  // namespace

bool ErrorHandler::CreateInstance() {
  if (gErrorHandler == nullptr) gErrorHandler = new (std::nothrow) ErrorHandler();
  return gErrorHandler != nullptr;
}

void ErrorHandler::DestroyInstance() {
  if (gErrorHandler == nullptr) return;
  gErrorHandler->Clear();
  delete gErrorHandler;
  gErrorHandler = nullptr;
}

ErrorHandler* ErrorHandler::Instance() {
  return gErrorHandler;
}

ErrorHandler& Findings() {
  if (gErrorHandler == nullptr) gErrorHandler = new ErrorHandler();
  return *gErrorHandler;
}

void ErrorHandler::Clear() {
  records_.clear();
}

bool ErrorHandler::Report(const Kiv::PString& text, uint64_t container, uint64_t tag,
                          uint32_t level) {
  for (const Record& record : records_) {
    if (record.text != text) continue;
    if (container != 0 && record.container == container) return false;
    if (tag != 0 && record.tag == tag) return false;
    if (container == 0 && tag == 0) return false;
  }
  if (echo_) std::printf("%s%s\n", GetInterfaceText(PrefixKey(level)).c_str(), text.c_str());
  records_.push_back(Record{container, tag, text, level});
  return true;
}

bool ErrorHandler::ReportError(const Kiv::PString& text, const Container& owner) {
  return Report(text, owner.Id(), 0, kError);
}
bool ErrorHandler::ReportError(const Kiv::PString& text, const Tag& owner) {
  return Report(text, 0, owner.Id(), kError);
}
bool ErrorHandler::ReportError(const Kiv::PString& text) {
  return Report(text, 0, 0, kError);
}
bool ErrorHandler::ReportWarning(const Kiv::PString& text, const Container& owner) {
  return Report(text, owner.Id(), 0, kWarning);
}
bool ErrorHandler::ReportWarning(const Kiv::PString& text, const Tag& owner) {
  return Report(text, 0, owner.Id(), kWarning);
}
bool ErrorHandler::ReportWarning(const Kiv::PString& text) {
  return Report(text, 0, 0, kWarning);
}
bool ErrorHandler::ReportMessage(const Kiv::PString& text, const Container& owner) {
  return Report(text, owner.Id(), 0, kMessage);
}
bool ErrorHandler::ReportMessage(const Kiv::PString& text, const Tag& owner) {
  return Report(text, 0, owner.Id(), kMessage);
}
bool ErrorHandler::ReportMessage(const Kiv::PString& text) {
  return Report(text, 0, 0, kMessage);
}

bool ErrorHandler::Trace(std::string_view /*text*/, const Container* /*container*/) const {
  return true;
}
bool ErrorHandler::Trace2(std::string_view /*text*/, const Container* /*container*/) const {
  return true;
}

bool ErrorHandler::IsNewText(const Kiv::PString& text) const {
  for (const Record& record : records_) {
    if (record.text == text) return false;
  }
  return true;
}

void ErrorHandler::AssignList(const std::vector<Record>& list) {
  if (&list == &records_) return;
  records_ = list;
}

bool ErrorHandler::SetEcho(bool echo) {
  echo_ = echo;
  return echo_;
}

const std::vector<ErrorHandler::Record>& ErrorHandler::RemoveFirst(uint64_t Record::*owner,
                                                                   uint64_t id) {
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if ((*it).*owner == 0 || (*it).*owner != id) continue;
    records_.erase(it);
    break;
  }
  return records_;
}

const std::vector<ErrorHandler::Record>& ErrorHandler::RemoveByTag(const Tag& owner) {
  return RemoveFirst(&Record::tag, owner.Id());
}

const std::vector<ErrorHandler::Record>& ErrorHandler::RemoveByContainer(const Container& owner) {
  return RemoveFirst(&Record::container, owner.Id());
}

}  // namespace TETLib
