// Interned strings.
//
// A Kiv::PString is one pointer to an entry of the process-wide string cache.
// Equal texts share one entry, so two strings are equal exactly when their
// pointers are equal; the empty string is the null pointer. Entries carry an
// atomic use count: copying a PString adds a use, releasing the last holder
// frees the entry. Every operation is thread-safe: a use count reaches 0
// only under the cache's lock, so a release racing with an intern of the same
// text never hands out a freed entry. The cache itself lives for the whole
// process, so strings held by static objects may be released at any time.
//
// Operations that "change" a string (Truncate, ToUpper, ToLower, Append)
// intern the new text and move this handle to it; an entry shared with other
// holders is never modified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Kiv {

class PString {
 public:
  struct Entry;  // Owned by PStringCache.

  PString() = default;
  // Interns `text`; null or empty gives the empty string.
  explicit PString(const char* text);
  explicit PString(std::string_view text);
  explicit PString(const std::string& text) : PString(std::string_view(text)) {}
  // Text arriving as UTF-8. The program works in UTF-8 throughout, so this
  // is the same as the plain constructor; null gives the empty string.
  static PString FromUtf8(const char* text) { return PString(text); }

  PString(const PString& other);
  PString(PString&& other) noexcept : entry_(other.entry_) { other.entry_ = nullptr; }
  PString& operator=(const PString& other);
  PString& operator=(PString&& other) noexcept;
  PString& operator=(std::string_view text);
  PString& operator=(const char* text) { return *this = std::string_view(text ? text : ""); }
  ~PString() { Release(); }

  // Drops this holder's use; the string becomes empty.
  void Release();

  // For a holder that keeps the text alive by other means (a use held
  // elsewhere for as long as this handle lives): Borrow makes this empty
  // handle share `other`'s entry without taking a use, and Forget ends such
  // a handle without dropping one. A borrowed handle ends with Forget only
  // (never its destructor, Release or an assignment); copies made of it are
  // ordinary strings.
  void Borrow(const PString& other) { entry_ = other.entry_; }
  void Forget() { entry_ = nullptr; }

  bool Empty() const { return entry_ == nullptr; }
  uint32_t Length() const;
  // The characters, NUL-terminated; null for the empty string.
  const char* Text() const;
  // The characters, NUL-terminated; "" for the empty string.
  const char* c_str() const;
  std::string_view View() const;
  std::string Str() const { return std::string(View()); }

  // Cuts the text at `pos`; nothing happens when `pos` is at or past the end.
  void Truncate(uint32_t pos);
  // ASCII case mapping, independent of the C locale.
  void ToUpper();
  void ToLower();
  void Append(std::string_view text);

  bool operator==(const PString& other) const { return entry_ == other.entry_; }
  bool operator!=(const PString& other) const { return entry_ != other.entry_; }
  // Compares texts (byte-wise), for ordered containers.
  static bool TextLess(const PString& a, const PString& b) { return a.View() < b.View(); }
  // Identity of the entry; stable while any holder keeps it.
  const void* Id() const { return entry_; }

 private:
  friend class PStringCache;
  Entry* entry_ = nullptr;
};

// The process-wide cache behind PString.
class PStringCache {
 public:
  // Number of live entries (for tests and diagnostics).
  static size_t Count();
  // Use count of the entry behind `s`; 0 for the empty string.
  static uint32_t UseCount(const PString& s);
  // Asks for the place where `text` is looked up to be brought into the
  // processor's cache, ahead of interning it (a hint: nothing changes). For
  // callers that know a text some time before they need its string.
  static void Prefetch(std::string_view text);
  // Releases the `count` strings at `strings` (each becomes empty) as
  // Release would one by one, taking the cache's lock once per batch of
  // last uses rather than once per string.
  static void ReleaseAll(PString* strings, size_t count);

 private:
  friend class PString;
  class Impl;
};

}  // namespace Kiv

template <>
struct std::hash<Kiv::PString> {
  size_t operator()(const Kiv::PString& s) const noexcept {
    return std::hash<const void*>()(s.Id());
  }
};
