#include "assetdb/protocol/ResultsLog.h"

#include "foundation/soup/Soup.h"
#include "foundation/soup/VandruProperty.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/stream/TStream.h"
#include "foundation/text/SubstituteParams.h"

// Holds the log's lock for a scope.
class ResultsLog::Guard {
 public:
  explicit Guard(const ResultsLog& log) : lock_(log.lock_) { lock_.Lock(); }
  ~Guard() { lock_.Unlock(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  CountedMutex& lock_;
};

namespace {

// The longest text the stream form carries.
constexpr size_t kMaxStreamText = TStream::kMaxStringLength;

// `text` cut to at most kMaxStreamText bytes, never inside a UTF-8 sequence.
Kiv::String StreamText(const Kiv::String& text) {
  if (text.size() <= kMaxStreamText) return text;
  size_t cut = kMaxStreamText;
  // Back off over continuation bytes (10xxxxxx) to the start of a character;
  // a sequence is at most 4 bytes long.
  for (int i = 0; i < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++i) --cut;
  return text.substr(0, cut);
}

}  // namespace

ResultsLog::~ResultsLog() {
  // No daemon message may reach the log from now on; this waits for a
  // delivery that is under way (ReadMessagesForRequest).
  UnregisterLog(this);
  Guard guard(*this);
  AnnounceLocked(ListDestroyedName());
  subjectStack_.clear();
  messages_.FreeBlocks();
}

void ResultsLog::AddResult(uint32_t severity, const PropertyRef& subject, Kiv::String text,
                           const Soup* parameters) {
  Guard guard(*this);
  ResultMessage message;
  message.severity = severity;
  if (!subject.IsNull()) {
    message.subject = subject;
  } else if (!subjectStack_.empty()) {
    message.subject = subjectStack_.back();
  }
  if (parameters != nullptr) {
    const uint32_t count = parameters->CountTags();
    for (uint32_t i = 0; i < count; ++i) {
      Kiv::PString name = parameters->GetIndexedTagName(i);
      const Kiv::PString value = parameters->GetNamedTag(name);
      name.ToUpper();
      SubstituteParams(text, value.View(), ParamName(name.View()));
    }
  }
  message.text = std::move(text);
  AppendLocked(std::move(message));
  viewed_ = false;
  AnnounceLocked(ListUpdatedName());
}

void ResultsLog::PushSubject(const PropertyRef& subject) {
  Guard guard(*this);
  subjectStack_.push_back(subject);
}

void ResultsLog::PopSubject() {
  Guard guard(*this);
  if (!subjectStack_.empty()) subjectStack_.pop_back();
}

void ResultsLog::Assign(ResultsLog& other) {
  if (&other == this) return;
  Guard mine(*this);
  {
    Guard theirs(other);
    ResultList copy;
    for (ResultList::Iterator it = other.messages_.Begin(); !it.AtEnd(); it.Next()) {
      copy.Append(*it);
    }
    messages_ = std::move(copy);
    warningCount_ = other.warningCount_;
    errorCount_ = other.errorCount_;
    successCount_ = other.successCount_;
  }
  viewed_ = false;
}

void ResultsLog::WriteMessages(TStream& stream, uint32_t firstIndex) {
  Guard guard(*this);
  TStreamWriteU32(stream, 0);
  const uint32_t count = messages_.Count();
  TStreamWriteU32(stream, count > firstIndex ? count - firstIndex : 0);
  viewed_ = true;
  ResultList::Iterator it = messages_.Begin();
  it.AdvanceAlt(firstIndex);
  for (; !it.AtEnd(); it.Next()) {
    TStreamWriteU32(stream, it->severity);
    stream.WriteString(StreamText(it->text));
    WritePropertyRef(stream, it->subject);
  }
}

bool ResultsLog::ReadMessages(TStream& stream) {
  Guard guard(*this);
  bool whole = stream.GetError() == TStream::kErrorNone;
  uint32_t status = 0;
  if (whole && !TStreamReadU32(stream, status, 0xFFFFFFFFu)) whole = false;
  if (whole && status == 0) {
    uint32_t count = 0;
    whole = TStreamReadU32(stream, count, 0);
    // The count only bounds the loop: every record is read before anything
    // is kept, so a hostile count costs no more than the bytes that follow.
    for (uint32_t i = 0; whole && i < count; ++i) {
      ResultMessage message;
      TStreamReadU32(stream, message.severity, 0);
      stream.ReadString(message.text);
      ReadPropertyRef(stream, message.subject);
      whole = stream.GetError() == TStream::kErrorNone;
      if (whole) AppendLocked(std::move(message));
    }
  }
  if (!whole) {
    if (stream.GetError() == TStream::kErrorNone) stream.SetError(TStream::kErrorShortRead);
    AppendLocked(ResultMessage{kError, GetInterfaceText("$vad_results_batch_damaged"), {}});
  }
  viewed_ = false;
  AnnounceLocked(ListUpdatedName());
  return whole;
}

void ResultsLog::VisitMessages(const std::function<void(const ResultMessage&)>& visit) {
  Guard guard(*this);
  viewed_ = true;
  for (ResultList::Iterator it = messages_.Begin(); !it.AtEnd(); it.Next()) visit(*it);
}

std::vector<ResultMessage> ResultsLog::Messages() const {
  Guard guard(*this);
  std::vector<ResultMessage> out;
  ResultList& list = const_cast<ResultList&>(messages_);
  for (ResultList::Iterator it = list.Begin(); !it.AtEnd(); it.Next()) out.push_back(*it);
  return out;
}

uint32_t ResultsLog::MessageCount() const {
  Guard guard(*this);
  return messages_.Count();
}

uint32_t ResultsLog::GetWarningCount() const {
  Guard guard(*this);
  return warningCount_;
}

uint32_t ResultsLog::GetErrorCount() const {
  Guard guard(*this);
  return errorCount_;
}

uint32_t ResultsLog::GetSuccessCount() const {
  Guard guard(*this);
  return successCount_;
}

bool ResultsLog::IsViewed() const {
  Guard guard(*this);
  return viewed_;
}

uint32_t ResultsLog::SubjectDepth() const {
  Guard guard(*this);
  return static_cast<uint32_t>(subjectStack_.size());
}

void ResultsLog::AppendLocked(ResultMessage message) {
  if (message.severity == kWarning) ++warningCount_;
  if (message.severity == kError) ++errorCount_;
  if (message.severity == kSuccess) ++successCount_;
  messages_.Append(std::move(message));
}

void ResultsLog::AnnounceLocked(const Kiv::PString& name) {
  Announce(NuMessageData(name, reinterpret_cast<uintptr_t>(this)));
}

PropertyRef AssetSubject(const KUID& asset) {
  static const Kiv::PString name("AssetID");
  return PropertyRef::FromPointer(new VandruPropertyAssetID(name, asset));
}
