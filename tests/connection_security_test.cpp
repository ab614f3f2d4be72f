// Security codes and the fingerprint texts users write by hand or copy from tools.
#include "check/connection_security.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

const std::string kDigits = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
  return text;
}

struct FingerprintCase {
  const char* name;
  std::string text;
  bool valid;
};

class FingerprintTest : public ::testing::TestWithParam<FingerprintCase> {};

TEST_P(FingerprintTest, NormalizesToUpperCaseDigitsOrNothing) {
  const FingerprintCase& c = GetParam();
  EXPECT_EQ(NormalizeFingerprint(c.text), c.valid ? kDigits : "");
  EXPECT_EQ(FingerprintsMatch(c.text, kDigits), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FingerprintTest,
    ::testing::Values(
        FingerprintCase{"Plain", kDigits, true}, FingerprintCase{"LowerCase", Lower(kDigits), true},
        FingerprintCase{"Colons", FingerprintWithColons(kDigits), true},
        FingerprintCase{"LowerWithColons", Lower(FingerprintWithColons(kDigits)), true},
        FingerprintCase{"Blanks", "  " + kDigits + " ", true}, FingerprintCase{"Empty", "", false},
        FingerprintCase{"OneShort", kDigits.substr(1), false},
        FingerprintCase{"OneLong", kDigits + "0", false},
        FingerprintCase{"Sha1Length", kDigits.substr(0, 40), false},
        FingerprintCase{"NotHex", "G" + kDigits.substr(1), false},
        FingerprintCase{"Prefixed", "SHA256:" + kDigits, false},
        FingerprintCase{"HugeText", std::string(100000, 'A'), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FingerprintTest, ColonsJoinEachPair) {
  const std::string text = FingerprintWithColons(kDigits);
  EXPECT_EQ(text.size(), 64u + 31u);
  EXPECT_EQ(text.substr(0, 9), "01:23:45:");
}

TEST(FingerprintTest, TwoEmptyOrMalformedNeverMatch) {
  EXPECT_FALSE(FingerprintsMatch("", ""));
  EXPECT_FALSE(FingerprintsMatch("xyz", "xyz"));
}

TEST(SecurityModeTest, OnlyKnownCodesSecure) {
  for (int code = -3; code < 10; ++code) {
    const SecurityMode mode = EffectiveSecurity(static_cast<int16_t>(code));
    const SecurityMode expected = code == 1   ? SecurityMode::Tls
                                  : code == 2 ? SecurityMode::StartTls
                                              : SecurityMode::None;
    EXPECT_EQ(mode, expected) << code;
  }
}

}  // namespace
}  // namespace postvane
