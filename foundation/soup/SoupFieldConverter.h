// Converters bound to one field of a caller's structure.
//
// Each converter holds a pointer to the field (and, for the bit form, a
// mask) and turns the field's value into text and text into the field's
// value. The caller owns the field and keeps it alive as long as the
// converter; a converter never owns what it points at. Converting never
// fails: text that does not read as a value sets the field to its zero
// value (see each class). ToText answers a std::string, whose c_str() is the
// text with its terminating NUL, so readers may take it as C text. FromText
// takes C text; null reads as no text.
//
//   SoupFieldConverter_FourCC  uint32_t  "%c%c%c%c" from the highest byte
//       down (the text ends at a zero byte, as C text would); from text:
//       blanks are appended until it has at least four characters, and its
//       first four bytes are packed, the first into the highest byte.
//   SoupFieldConverter_Int     int32_t   "%d"; from text: a decimal integer
//       as strtol reads it (leading blanks, an optional sign, digits up to
//       the first other character; 0 for no text), held to the 32-bit range.
//   SoupFieldConverter_UInt    uint32_t  "%u"; from text: a decimal integer
//       as for Int, where a negative value is taken as the 32-bit word it
//       writes ("-1" reads as 4294967295, so texts that wrote the word as a
//       signed number still read back), held to [-2^31, 2^32 - 1].
//   SoupFieldConverter_Double  double    "%g"; from text: atof (0 for no
//       text or text that holds no number).
//   SoupFieldConverter_Bool    bool      "true" or "false"; from text: true
//       when the text, ignoring case, is "true", "1" or "t", else false.
//   SoupFieldConverter_Bit     uint32_t and a mask: "true" when any bit of
//       the mask is set in the word, else "false"; from text (as for Bool)
//       true sets every bit of the mask and false clears them, leaving the
//       other bits of the word as they were.
//
// Threads: a converter touches only its field; callers serialise access to
// the field as they would for the field itself.
#pragma once

#include <cstdint>
#include <string>

class SoupFieldConverter {
 public:
  SoupFieldConverter() = default;
  virtual ~SoupFieldConverter() = default;
  SoupFieldConverter(const SoupFieldConverter&) = delete;
  SoupFieldConverter& operator=(const SoupFieldConverter&) = delete;

  virtual std::string ToText() const = 0;
  virtual void FromText(const char* text) = 0;
};

class SoupFieldConverter_FourCC : public SoupFieldConverter {
 public:
  explicit SoupFieldConverter_FourCC(uint32_t* field) : field_(field) {}
  std::string ToText() const override;
  void FromText(const char* text) override;

 private:
  uint32_t* field_;
};

class SoupFieldConverter_Int : public SoupFieldConverter {
 public:
  explicit SoupFieldConverter_Int(int32_t* field) : field_(field) {}
  std::string ToText() const override;
  void FromText(const char* text) override;

 private:
  int32_t* field_;
};

class SoupFieldConverter_UInt : public SoupFieldConverter {
 public:
  explicit SoupFieldConverter_UInt(uint32_t* field) : field_(field) {}
  std::string ToText() const override;
  void FromText(const char* text) override;

 private:
  uint32_t* field_;
};

class SoupFieldConverter_Double : public SoupFieldConverter {
 public:
  explicit SoupFieldConverter_Double(double* field) : field_(field) {}
  std::string ToText() const override;
  void FromText(const char* text) override;

 private:
  double* field_;
};

class SoupFieldConverter_Bool : public SoupFieldConverter {
 public:
  explicit SoupFieldConverter_Bool(bool* field) : field_(field) {}
  std::string ToText() const override;
  void FromText(const char* text) override;

 private:
  bool* field_;
};

class SoupFieldConverter_Bit : public SoupFieldConverter {
 public:
  SoupFieldConverter_Bit(uint32_t* word, uint32_t mask) : word_(word), mask_(mask) {}
  std::string ToText() const override;
  void FromText(const char* text) override;

 private:
  uint32_t* word_;
  uint32_t mask_;
};
