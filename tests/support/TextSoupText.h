// Soups to and from the text form in memory, for tests that check what the
// text writer and reader make of values.
//
// ParsedTextSoup(text, utf8) reads `text` with TextSoup::Parse from an
// in-memory stream; a parse that fails is a test failure (the soup is then
// empty). WrittenTextSoup(soup) answers the bytes TextSoup::Write gives,
// byte-order mark included; a write error is a test failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

namespace VUTest {

inline Soup ParsedTextSoup(std::string_view text, bool utf8 = false) {
  Kiv::DynamicBuffer bytes;
  bytes.Write(text.data(), uint32_t(text.size()));
  bytes.SetPosition(0);
  TBuffer stream(&bytes, false);
  Soup soup;
  const TextSoup::Result result = TextSoup::Parse(soup, stream, utf8);
  EXPECT_TRUE(result.Ok()) << TextSoup::StatusText(result.status) << " in: " << text;
  return soup;
}

inline std::string WrittenTextSoup(const Soup& soup) {
  TBuffer stream;
  TextSoup::Write(stream, soup);
  EXPECT_EQ(stream.GetError(), TStream::kErrorNone);
  const Kiv::DynamicBuffer* data = stream.GetData();
  return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
}

}  // namespace VUTest
