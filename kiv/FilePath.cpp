// Kiv::File::Path: paths held as text.

#include <algorithm>
#include <vector>

#include "kiv/File.h"

namespace Kiv {

namespace {

bool IsSep(char c) {
  return c == '/' || c == '\\';
}

size_t LastSep(const String& text) {
  return text.find_last_of("/\\");
}

// The components of `text`, empty ones and "." left out.
std::vector<std::string_view> Components(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !IsSep(text[end])) ++end;
    const std::string_view part = text.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

}  // namespace

void File::Path::ReplaceForwardSlashes() {
  std::replace(text_.begin(), text_.end(), '\\', '/');
}

void File::Path::Normalize() {
  if (text_.empty()) return;
  const bool absolute = IsSep(text_.front());
  const bool folder = IsSep(text_.back());
  std::vector<std::string_view> kept;
  for (std::string_view part : Components(text_)) {
    if (part != "..") {
      kept.push_back(part);
    } else if (!kept.empty() && kept.back() != "..") {
      kept.pop_back();
    } else if (!absolute) {
      kept.push_back(part);
    }
  }
  String out = absolute ? "/" : "";
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += '/';
    out.append(kept[i]);
  }
  if (folder && !kept.empty()) out += '/';
  text_ = std::move(out);
}

void File::Path::AddPath(std::string_view part) {
  while (!part.empty() && IsSep(part.front())) part.remove_prefix(1);
  if (part.empty()) return;
  if (!text_.empty() && !IsSep(text_.back())) text_ += '/';
  text_.append(part);
}

void File::Path::DelSlash() {
  if (text_.size() > 1 && IsSep(text_.back())) text_.pop_back();
}

void File::Path::DelName() {
  const size_t sep = LastSep(text_);
  text_.resize(sep == String::npos ? 0 : sep + 1);
}

void File::Path::PrevDir() {
  DelSlash();
  DelName();
}

void File::Path::ToLower() {
  text_ = AsciiLower(text_);
}

String File::Path::Name() const {
  const size_t sep = LastSep(text_);
  return sep == String::npos ? text_ : text_.substr(sep + 1);
}

String File::Path::Extension() const {
  const String name = Name();
  const size_t dot = name.rfind('.');
  return dot == String::npos ? String() : name.substr(dot + 1);
}

bool File::Path::IsExt(std::string_view ext) const {
  if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
  if (ext.empty()) return false;
  const String name = Name();
  if (name.size() <= ext.size()) return false;
  const size_t dot = name.size() - ext.size() - 1;
  return name[dot] == '.' && EqualsIgnoreCase(std::string_view(name).substr(dot + 1), ext);
}

bool File::Path::StaysInside() const {
  if (!text_.empty() && IsSep(text_.front())) return false;
  int depth = 0;
  for (std::string_view part : Components(text_)) {
    depth += part == ".." ? -1 : 1;
    if (depth < 0) return false;
  }
  return true;
}

bool File::Path::MakeRelativeTo(const Path& base) {
  std::string_view prefix = base.text_;
  while (prefix.size() > 1 && IsSep(prefix.back())) prefix.remove_suffix(1);
  if (prefix.empty() || text_.compare(0, prefix.size(), prefix) != 0) return false;
  const bool rootBase = prefix.size() == 1 && IsSep(prefix.front());
  if (!rootBase && text_.size() > prefix.size() && !IsSep(text_[prefix.size()])) return false;
  size_t start = prefix.size();
  while (start < text_.size() && IsSep(text_[start])) ++start;
  text_.erase(0, start);
  return true;
}

String File::Path::ExtractFirstPath() {
  size_t start = 0;
  while (start < text_.size() && IsSep(text_[start])) ++start;
  size_t end = start;
  while (end < text_.size() && !IsSep(text_[end])) ++end;
  String first = text_.substr(start, end - start);
  while (end < text_.size() && IsSep(text_[end])) ++end;
  text_.erase(0, end);
  return first;
}

}  // namespace Kiv
