// Security codes and the fingerprint texts users write by hand or copy from tools.
#include "check/connection_security.h"

#include <gtest/gtest.h>

#include <optional>
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

struct SecurityTextCase {
  const char* text;
  std::optional<SecurityMode> mode;  // nothing: the mailbox must not be checked
};

class SecurityTextTest : public ::testing::TestWithParam<SecurityTextCase> {};

TEST_P(SecurityTextTest, OnlyTheKnownTextsGiveAMode) {
  const SecurityTextCase& c = GetParam();
  EXPECT_EQ(EffectiveSecurity(ReadSecurityCode(c.text)), c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SecurityTextTest,
    ::testing::Values(
        SecurityTextCase{"", SecurityMode::None}, SecurityTextCase{"0", SecurityMode::None},
        SecurityTextCase{"1", SecurityMode::Tls}, SecurityTextCase{"2", SecurityMode::StartTls},
        SecurityTextCase{" \t1 ", SecurityMode::Tls}, SecurityTextCase{"  ", SecurityMode::None},
        SecurityTextCase{"3", std::nullopt}, SecurityTextCase{"-1", std::nullopt},
        SecurityTextCase{"tls", std::nullopt}, SecurityTextCase{"ssl", std::nullopt},
        SecurityTextCase{"0x1", std::nullopt}, SecurityTextCase{"01", std::nullopt},
        SecurityTextCase{"+1", std::nullopt}, SecurityTextCase{"1.0", std::nullopt},
        SecurityTextCase{"1 2", std::nullopt}, SecurityTextCase{"99999999999", std::nullopt}));

TEST(SecurityModeTest, CodesOutsideTheListHaveNoMode) {
  for (const int code : {-32768, -2, int{kUnknownSecurity}, 3, 7, 32767}) {
    EXPECT_EQ(EffectiveSecurity(static_cast<int16_t>(code)), std::nullopt) << code;
  }
}

}  // namespace
}  // namespace postvane
