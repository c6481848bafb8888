// TextSoup: the writer, the name normalisation and the status texts. The
// reader is in TextSoupReader.cpp.
#include "foundation/soup/TextSoup.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/soup/ACSConvert.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

// Appends NormaliseTagName(name) to `out`.
void AppendNormalisedName(std::string_view name, std::string& out) {
  const size_t start = out.size();
  out.append(name.substr(0, TextSoup::kMaxWrittenNameLength));
  for (size_t i = start; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (b <= 0x20 || b >= 0x80) {
      out[i] = '_';
    } else if (b >= 'A' && b <= 'Z') {
      out[i] = char(b - 'A' + 'a');
    }
  }
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
// The text is handed to the stream in pieces of about this size.
constexpr size_t kFlushSize = 64 * 1024;

// Writes a soup depth-first without recursion, so a deep tree cannot
// exhaust the stack. The text is gathered in memory and handed to the
// stream in large pieces.
class TextSoupWriter {
 public:
  explicit TextSoupWriter(TStream& stream) : stream_(stream) {}

  void WriteSoup(const ACSChunk* root) {
    out_.append(kByteOrderMark);
    out_.append(kLineEnd);
    WriteChildren(root);
    Flush();
  }

 private:
  // One container being written: its children from `next` on, at `level`.
  struct Frame {
    ChunkRef hold;  // keeps `container` alive; empty for the root
    const ACSChunk* container;
    uint32_t level;
    uint32_t next;
    uint32_t count;
    ChildCursor cursor;  // where this container's walk stands
  };

  void WriteChildren(const ACSChunk* root) {
    std::vector<Frame> stack;
    stack.push_back({nullptr, root, 0, 0, root->CountChildren(), ChildCursor{}});
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next >= top.count) {
        CloseContainer(stack);
        continue;
      }
      const uint32_t index = top.next++;
      const uint32_t level = top.level;
      const Kiv::PString* name = nullptr;
      const ACSChunk* child = nullptr;
      if (!top.container->GetChildAtCursor(index, top.cursor, name, child)) continue;
      if (child->GetType() != SoupType::kContainer) {
        WriteTag(*name, child, level);
        out_.append(kLineEnd);
        MaybeFlush();
        continue;
      }
      if (index != 0) {
        Indent(level);
        out_.append(kLineEnd);
      }
      Indent(level);
      WriteName(*name);
      out_.append(kLineEnd);
      Indent(level);
      out_.append("{\r\n");
      // The reference keeps the sub-soup alive whatever its parent's cursor
      // answers next.
      ChunkRef hold = ChunkRef::Share(const_cast<ACSChunk*>(child));
      stack.push_back({std::move(hold), child, level + 1, 0, child->CountChildren(), ChildCursor{}});
    }
  }

  // Ends the innermost container: its closing brace (the root has none).
  void CloseContainer(std::vector<Frame>& stack) {
    stack.pop_back();
    if (stack.empty()) return;
    Indent(stack.back().level);
    out_.append("}\r\n");
    MaybeFlush();
  }

  // A value tag: indentation, name, padding to the value column, value.
  void WriteTag(const Kiv::PString& name, const ACSChunk* chunk, uint32_t level) {
    const uint32_t type = chunk->GetType();
    Indent(level);
    const int64_t nameLength = int64_t(WriteName(name));
    const int64_t padding = (20 - int64_t(level)) * 2 - nameLength;
    out_.append(size_t(padding > 1 ? padding : 1), ' ');
    if (type == SoupType::kString) {
      // A string converts to itself; read its bytes in place.
      WriteValue(BytesAsText(chunk->GetData(), chunk->GetDataSize()), true);
      return;
    }
    const bool quote =
        type != SoupType::kFloat && type != SoupType::kInt && type != SoupType::kKUID;
    // Numbers and KUIDs are formatted in place (their texts hold no blank
    // and no double quote, so they are never quoted).
    if (!quote && AppendValueText(type, chunk->GetData(), chunk->GetDataSize(), out_)) return;
    const CoreRef text = ACSConvert(type, ACSChunk::GetRawData(chunk), SoupType::kString);
    WriteValue(ACSRawDataCore::TextView(text.get()), quote);
  }

  static std::string_view BytesAsText(const uint8_t* data, uint32_t size) {
    if (data == nullptr) return {};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    return bytes.substr(0, bytes.find('\0'));
  }

  // Answers the number of characters written.
  size_t WriteName(const Kiv::PString& name) {
    const size_t start = out_.size();
    AppendNormalisedName(name.View(), out_);
    return out_.size() - start;
  }

  void WriteValue(std::string_view text, bool quote) {
    if (text.empty()) return;
    quote = quote || text.find_first_of("\r\n \t") != std::string_view::npos;
    if (quote) out_.push_back('"');
    const size_t start = out_.size();
    out_.append(text);
    for (size_t i = start; i < out_.size(); ++i) {
      if (out_[i] == '"') out_[i] = '\'';
    }
    if (quote) out_.push_back('"');
  }

  void Indent(uint32_t level) { out_.append(size_t(level) * 2, ' '); }

  void MaybeFlush() {
    if (out_.size() >= kFlushSize) Flush();
  }

  void Flush() {
    // Pieces stay far below 4 GiB: the buffer is flushed at kFlushSize and
    // one tag adds at most its own value.
    size_t done = 0;
    while (done < out_.size()) {
      const size_t piece = std::min<size_t>(out_.size() - done, 1u << 30);
      TStreamWriteBytes(stream_, out_.data() + done, uint32_t(piece));
      done += piece;
    }
    out_.clear();
  }

  TStream& stream_;
  std::string out_;
};

}  // namespace

void TextSoup::Write(TStream& stream, const Soup& soup) {
  if (soup.Empty()) return;
  TextSoupWriter writer(stream);
  writer.WriteSoup(soup.GetChunk());
}

std::string TextSoup::NormaliseTagName(std::string_view name) {
  std::string out;
  AppendNormalisedName(name, out);
  return out;
}

const char* TextSoup::StatusText(Status status) {
  switch (status) {
    case Status::kOk:
      return "no error";
    case Status::kStreamClosed:
      return "the stream is not open";
    case Status::kReadFailed:
      return "the stream could not be read";
    case Status::kOutOfMemory:
      return "out of memory";
  }
  return "unknown error";
}
