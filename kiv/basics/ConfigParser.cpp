#include "kiv/basics/ConfigParser.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "kiv/basics/MemoryFile.h"

namespace Kiv {

namespace {

enum class Token { kEnd, kWord, kText, kOpen, kClose, kBad };

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  Token Next(String* value) {
    SkipSpace();
    if (pos_ >= text_.size()) return Token::kEnd;
    const char c = text_[pos_];
    if (c == '{' || c == '}') {
      ++pos_;
      return c == '{' ? Token::kOpen : Token::kClose;
    }
    if (c == '"') return Quoted(value);
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '{' &&
           text_[pos_] != '}' && text_[pos_] != '"')
      ++pos_;
    value->assign(text_.substr(start, pos_ - start));
    return Token::kWord;
  }
  uint32_t Line() const { return line_; }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  void SkipSpace() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') ++line_;
      if (IsSpace(c)) {
        ++pos_;
        continue;
      }
      const bool comment =
          c == '#' || (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/');
      if (!comment) return;
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    }
  }

  Token Quoted(String* value) {
    value->clear();
    for (++pos_; pos_ < text_.size(); ++pos_) {
      char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return Token::kText;
      }
      if (c == '\n') return Token::kBad;
      if (c == '\\' && pos_ + 1 < text_.size()) c = text_[++pos_];
      value->push_back(c);
    }
    return Token::kBad;
  }

  std::string_view text_;
  size_t pos_ = 0;
  uint32_t line_ = 1;
};

class TreeReader {
 public:
  explicit TreeReader(std::string_view text) : scanner_(text) {}

  // Reads items into `parent` up to the end (depth 0) or a closing brace.
  bool ReadItems(ConfigNode* parent, uint32_t depth) {
    String word;
    for (;;) {
      const Token token = scanner_.Next(&word);
      if (token == Token::kEnd) return depth == 0 || Fail("a block is not closed");
      if (token == Token::kClose) return depth > 0 || Fail("'}' without a block");
      if (token != Token::kWord) return Fail("a key is expected");
      if (++items_ > ConfigParser::kMaxItems) return Fail("too many items");
      ConfigNode node;
      node.key = word;
      node.line = scanner_.Line();
      if (!ReadItemBody(&node, depth)) return false;
      parent->children.push_back(std::move(node));
    }
  }
  const String& Error() const { return error_; }

 private:
  bool ReadItemBody(ConfigNode* node, uint32_t depth) {
    String value;
    Token token = scanner_.Next(&value);
    if (token == Token::kWord || token == Token::kText) {
      node->value = value;
      node->hasValue = true;
      if (!Peek(Token::kOpen)) return true;
      token = scanner_.Next(&value);
    }
    if (token != Token::kOpen) return Fail("'" + node->key + "' needs a value or a block");
    if (depth + 1 >= ConfigParser::kMaxDepth) return Fail("blocks nest too deep");
    node->hasBlock = true;
    return ReadItems(node, depth + 1);
  }

  bool Peek(Token wanted) {
    Scanner copy = scanner_;
    String ignored;
    return copy.Next(&ignored) == wanted;
  }

  bool Fail(const String& what) {
    if (error_.empty()) error_ = "line " + std::to_string(scanner_.Line()) + ": " + what;
    return false;
  }

  Scanner scanner_;
  uint32_t items_ = 0;
  String error_;
};

}  // namespace

bool ParseConfigFloat(std::string_view text, float* value) {
  const String copy(text);
  if (copy.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const float read = std::strtof(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(read)) return false;
  *value = read;
  return true;
}

const ConfigNode* ConfigNode::Find(std::string_view wanted) const {
  for (const ConfigNode& child : children) {
    if (EqualsIgnoreCase(child.key, wanted)) return &child;
  }
  return nullptr;
}

size_t ConfigNode::Count(std::string_view wanted) const {
  size_t count = 0;
  for (const ConfigNode& child : children) count += EqualsIgnoreCase(child.key, wanted) ? 1 : 0;
  return count;
}

float ConfigNode::GetFloat(std::string_view wanted, float fallback) const {
  const ConfigNode* node = Find(wanted);
  float read = fallback;
  if (node == nullptr || !ParseConfigFloat(node->value, &read)) return fallback;
  return read;
}

bool ConfigNode::GetBool(std::string_view wanted, bool fallback) const {
  const ConfigNode* node = Find(wanted);
  if (node == nullptr) return fallback;
  for (const char* yes : {"true", "yes", "1"}) {
    if (EqualsIgnoreCase(node->value, yes)) return true;
  }
  for (const char* no : {"false", "no", "0"}) {
    if (EqualsIgnoreCase(node->value, no)) return false;
  }
  return fallback;
}

String ConfigNode::GetText(std::string_view wanted, const String& fallback) const {
  const ConfigNode* node = Find(wanted);
  return node != nullptr && node->hasValue ? node->value : fallback;
}

uint32_t ConfigParser::Parse(const String& path) {
  *this = ConfigParser{};
  MemoryFile file;
  if (!file.Open(path, kMaxFileBytes)) {
    error_ = "cannot read " + path;
    return kOpenFailed;
  }
  const char* text = reinterpret_cast<const char*>(file.Base());
  return ParseText(std::string_view(text != nullptr ? text : "", file.Size()));
}

uint32_t ConfigParser::ParseText(std::string_view text) {
  *this = ConfigParser{};
  TreeReader reader(text);
  ConfigNode root;
  if (!reader.ReadItems(&root, 0)) {
    error_ = reader.Error();
    return kSyntaxError;
  }
  if (root.children.empty() || !EqualsIgnoreCase(root.children.front().key, "version") ||
      !ParseConfigFloat(root.children.front().value, &version_)) {
    version_ = 0.0f;
    error_ = "line 1: the text must start with 'version <number>'";
    return kSyntaxError;
  }
  root.children.erase(root.children.begin());
  root_ = std::move(root);
  return kOk;
}

}  // namespace Kiv
