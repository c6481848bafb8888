// TextSoup: the human-editable text form of a soup ("config.txt" and every
// other soup file with the extension "txt"), read with Parse and written
// with Write.
//
// The form: one tag per line, a name, blanks and a value; a sub-soup is a
// name followed by a block in braces ("{" on the same or a later line). The
// reader lowers ASCII capitals in names, keeps at most kMaxNameLength
// characters of a name, and infers each value's type from its text:
//   nothing before the line end or "}"          null tag (0)
//   -?[0-9]+ then blanks                         integer (6)
//   -?[0-9.]+ with a "." then blanks             float (3); "1.2.3" is 1.2
//   only digits "-" "." blanks and commas,       float array (3), split at
//     starting with a digit "-" or "."             spaces, tabs and commas
//   "<kuid:", "<kuid2:" or "<NULL>" (any case)   KUID (7), unless the text
//     at the start                                 holds two KUID literals, or
//                                                  names a KUID that a KUID
//                                                  tag cannot keep (below)
//   anything else, quoted or not                 string (4)
// In an unquoted value a backslash followed by "n" becomes CR LF and a double
// quote is an ordinary byte; a quoted value ends at the next double quote,
// holds line ends (each stored as CR LF) and "}", and has no escapes. A name
// that repeats keeps only its last value, at the end of the order. Without
// the UTF-8 flag (given by the caller or set by a byte-order mark EF BB BF at
// stream position 0) strings with bytes of 0x80 and above are converted from
// the ANSI code page (Windows-1252) to UTF-8.
//
// Parse(soup, stream, utf8) releases the handle, reads the stream from its
// position to its end and fills the handle as the setters of Soup would. A
// text without tags leaves the handle empty. The stream is left just after
// the last byte that belongs to the soup. The chunks of the tree are made in
// one ChunkArena: any of them that lives on keeps the arena's memory (see
// ChunkArena.h); otherwise they are ordinary editable chunks. When the last
// handle on the tree's top goes while nothing else holds any of its chunks
// and nothing was edited, the tree goes at once with its arena, its chunks
// not visited one by one. The arena also
// holds a use of each name read, which the tree's entries share without
// uses of their own, so a name read into many tags is counted a few times,
// not once per tag.
//
// Every text reads as a soup: nothing in it is refused or reported.
//   - A missing "}" closes every open sub-soup at the end of the text.
//   - A "}" that matches nothing ends the text at the top level: what
//     follows it is not read, and the stream is left on that "}".
//   - A quoted value without its closing double quote runs to the end of
//     the text, line ends and braces included.
//   - The first NUL byte ends the text, and the stream is left on it; NUL
//     bytes that only pad the end count as read.
//   - An integer, float or number-list piece that holds no number ("-",
//     ".", the middle of "1,-,2") is 0. Integers beyond 32 bits clamp to the
//     nearest 32-bit value, floats beyond the float range are infinity or 0
//     (as the C library scans them), and a number followed by other
//     characters ("1.2.3", "1-2") stops where the number stops.
//   - A text that starts like a KUID but is none is what ParseKUID makes of
//     it (the null KUID for "<kuid:x:y>").
//   - A KUID whose fields do not fit a KUID tag (KUIDReadsBack: a valid
//     KUID with a user id beyond -16777216..16777215, such as
//     "<kuid:-16777217:5>" or "<kuid2:20000000:1:127>") would read back as
//     another asset's KUID: the value is kept as a string holding the text
//     as written. Reading it as a KUID (Soup::GetNamedTagAsKUID) gives what
//     a KUID tag would have held; its text tells what the author named.
//   - A sub-soup nested deeper than kMaxDepth is read past by the same rules
//     and kept as an empty sub-soup, so a read tree is never more than
//     kMaxDepth + 1 sub-soups deep.
//   - Missing values, any bytes in names and unquoted values, and text
//     after a closing double quote on the same line (it starts the next tag)
//     are read as they come.
//
// Parse fails only when the stream cannot be read whole: it then answers a
// Result that is not Ok(), writes one LogMessage line that names the fault,
// and leaves the handle empty:
//   kStreamClosed       the stream is not open;
//   kReadFailed         the stream recorded an error while it was read;
//   kOutOfMemory        the text or a value did not fit in memory (line:
//                       where the reader had got to).
//
// Write(stream, soup) writes nothing for an empty handle. Otherwise: the
// byte-order mark EF BB BF, CR LF, then each child on its own line, ending
// in CR LF: the indentation (two spaces per level), the name, spaces so that
// the value starts in column 41 (at least one), and the value as text from
// the soup's converters (a float as "%g" when that text reads back as the
// same 32 bits, else in plain decimal with the fewest digits that do, with a
// "." and no exponent: see AppendFloatsText in SoupConverters.cpp). Values
// of every type but integer, float and KUID are quoted, and so is any text
// holding a blank or a line end; double
// quotes in a value are written as single quotes. A sub-soup is written as
// its name, "{" and "}" on lines of their own around its children, preceded
// by a line holding only the indentation unless it is the first child.
// Names are written through NormaliseTagName. Write errors are left in the
// stream's sticky error code.
//
// What a round trip through the text form loses, by design of the form:
//   an empty string reads back as a null tag;
//   a double quote in a string reads back as a single quote;
//   a line end in a string (CR, LF, CR LF or LF CR) reads back as CR LF;
//   a string that begins like a KUID ("<kuid:...") reads back as a KUID,
//     unless it names one that a KUID tag cannot keep;
//   raw bytes (type 2) and the second text kind (type 5) have no text form
//     and read back as null tags;
//   several integers in one tag read back as a float array;
//   a float reads back as the same 32 bits, but alone and written without
//     a "." (a whole number below 1e6, such as 240) as an integer of that
//     value; infinities and NaN read back as strings ("inf", "nan");
//   a KUID that breaks the validity rule of KUID.h reads back as the null KUID;
//   names: capitals are lowered, bytes at or below 0x20 and from 0x80 up
//     become "_", more than kMaxNameLength characters are cut; an empty name,
//     a name with "}" or a name starting with "{" does not read back;
//   of two children with one name only the last reads back.
//
// Thread safety: Parse and Write keep no state between calls; the soup and
// the stream follow their own rules (one thread at a time).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/soup/Soup.h"
#include "foundation/stream/TStream.h"

class TextSoup {
 public:
  enum class Status : uint8_t {
    kOk = 0,
    kStreamClosed,
    kReadFailed,
    kOutOfMemory,
  };

  struct Result {
    Status status = Status::kOk;
    // 1-based line where reading stopped; 0 when the fault has no line.
    uint32_t line = 0;
    bool Ok() const { return status == Status::kOk; }
  };

  // Sub-soups nested deeper than this are read past and kept empty.
  static constexpr uint32_t kMaxDepth = 256;
  // Characters of a name kept on reading; the rest of the name is skipped.
  static constexpr uint32_t kMaxNameLength = 511;
  // Characters of a name kept on writing.
  static constexpr uint32_t kMaxWrittenNameLength = 1024;
  // Column (1-based) where written values start, when the name leaves room.
  static constexpr uint32_t kValueColumn = 41;

  static Result Parse(Soup& soup, TStream& stream, bool utf8);
  static void Write(TStream& stream, const Soup& soup);

  // The name as written: at most kMaxWrittenNameLength characters, every
  // byte at or below 0x20 or from 0x80 up replaced by "_", ASCII capitals
  // lowered.
  static std::string NormaliseTagName(std::string_view name);

  // A short English description of a status ("unterminated quoted value").
  static const char* StatusText(Status status);
};
