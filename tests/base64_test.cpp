// Base64 in both alphabets, against RFC 4648's examples and every byte value.
#include "check/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

struct Rfc4648Case {
  const char* Plain;
  const char* Encoded;
};

class Base64Rfc4648Test : public testing::TestWithParam<Rfc4648Case> {};

TEST_P(Base64Rfc4648Test, EncodesAndDecodesTheExample) {
  EXPECT_EQ(Base64Encode(GetParam().Plain), GetParam().Encoded);
  EXPECT_EQ(Base64Decode(GetParam().Encoded), GetParam().Plain);
  // The URL form is the same without its padding for these letters.
  std::string unpadded = GetParam().Encoded;
  while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
  EXPECT_EQ(Base64UrlEncode(GetParam().Plain), unpadded);
  EXPECT_EQ(Base64Decode(unpadded), GetParam().Plain);
}

INSTANTIATE_TEST_SUITE_P(Examples, Base64Rfc4648Test,
                         testing::Values(Rfc4648Case{"", ""}, Rfc4648Case{"f", "Zg=="},
                                         Rfc4648Case{"fo", "Zm8="}, Rfc4648Case{"foo", "Zm9v"},
                                         Rfc4648Case{"foob", "Zm9vYg=="},
                                         Rfc4648Case{"fooba", "Zm9vYmE="},
                                         Rfc4648Case{"foobar", "Zm9vYmFy"}));

TEST(Base64Test, EveryByteValueRoundTripsAndTheUrlFormAvoidsPlusAndSlash) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  for (std::size_t cut = 0; cut < 4; ++cut) {
    const std::string part = bytes.substr(cut);
    EXPECT_EQ(Base64Decode(Base64Encode(part)), part);
    const std::string url = Base64UrlEncode(part);
    EXPECT_EQ(url.find_first_of("+/="), std::string::npos);
  }
}

TEST(Base64Test, TextOutsideTheAlphabetGivesNothing) {
  for (const char* text : {"Zm9v YmFy", "Zm9v\r\n", "Zm9v-_", "Z", "Zm9vY", "Zm9v!"}) {
    EXPECT_FALSE(Base64Decode(text)) << text;
  }
}

}  // namespace
}  // namespace postvane
