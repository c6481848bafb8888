// ErrorHandler: the findings of one validation run.
//
// One instance per process (CreateInstance makes it, answering true, and a
// second call keeps the first; DestroyInstance clears and deletes it,
// nothing when there is none; Instance answers it or null). Every check of
// the validation library reports through it; the validation entry reads the
// list at the end of a run.
//
// A finding is a record {container owner, tag owner, finished text, level}:
// level 3 error, 2 warning, 0 message. The text is used as given. Reports
// come in three forms: owned by a container (A), owned by a tag (B), or
// without owner (C). Owners are identified by the object's id (Container::
// Id, Tag::Id), which is never reused within a process, so a finding of a
// destroyed object can never be mistaken for one of a new object at the
// same address.
//
// Duplicates: a report is dropped (the call answers false) when a record
// with the same owner (form A: the same container; B: the same tag; C: any
// record) carries the same text (interned identity), whatever the levels.
// Otherwise the record is appended in order and the call answers true.
// RemoveByTag / RemoveByContainer remove only the first record of that
// owner (objects call them from their destructors). Trace and Trace2 do
// nothing. With echo on, each accepted finding is also printed on standard
// output after the interface text of "$tet_eh_error", "$tet_eh_warning" or
// "$tet_eh_message"; echo is off after construction.
//
// Threads: no lock of its own; validation uses it from one thread at a time.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "kiv/PString.h"

namespace TETLib {

class Container;
class Tag;

class ErrorHandler {
 public:
  static constexpr uint32_t kMessage = 0;
  static constexpr uint32_t kWarning = 2;
  static constexpr uint32_t kError = 3;

  struct Record {
    uint64_t container = 0;
    uint64_t tag = 0;
    Kiv::PString text;
    uint32_t level = kMessage;
  };

  static bool CreateInstance();
  static void DestroyInstance();
  static ErrorHandler* Instance();

  ErrorHandler() = default;
  ErrorHandler(const ErrorHandler&) = delete;
  ErrorHandler& operator=(const ErrorHandler&) = delete;

  void Clear();

  bool ReportError(const Kiv::PString& text, const Container& owner);
  bool ReportError(const Kiv::PString& text, const Tag& owner);
  bool ReportError(const Kiv::PString& text);
  bool ReportWarning(const Kiv::PString& text, const Container& owner);
  bool ReportWarning(const Kiv::PString& text, const Tag& owner);
  bool ReportWarning(const Kiv::PString& text);
  bool ReportMessage(const Kiv::PString& text, const Container& owner);
  bool ReportMessage(const Kiv::PString& text, const Tag& owner);
  bool ReportMessage(const Kiv::PString& text);

  bool Trace(std::string_view text, const Container* container) const;
  bool Trace2(std::string_view text, const Container* container) const;

  bool IsNewText(const Kiv::PString& text) const;
  void AssignList(const std::vector<Record>& list);
  bool SetEcho(bool echo);

  const std::vector<Record>& RemoveByTag(const Tag& owner);
  const std::vector<Record>& RemoveByContainer(const Container& owner);
  const std::vector<Record>& GetList() const { return records_; }

 private:
  bool Report(const Kiv::PString& text, uint64_t container, uint64_t tag, uint32_t level);
  const std::vector<Record>& RemoveFirst(uint64_t Record::*owner, uint64_t id);

  bool echo_ = false;
  std::vector<Record> records_;
};

// The process's error handler, made on first use when start-up has not made
// it (DestroyInstance deletes it either way).
ErrorHandler& Findings();

}  // namespace TETLib
