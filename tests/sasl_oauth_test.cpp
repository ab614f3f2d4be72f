// XOAUTH2 and OAUTHBEARER messages, the mechanism choice and the servers' error challenges.
#include "check/sasl_oauth.h"

#include <gtest/gtest.h>

#include <string>

#include "check/base64.h"

namespace postvane {
namespace {

TEST(SaslOAuthTest, Xoauth2MessageIsTheDocumentedForm) {
  const std::string token = "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg";
  const std::string encoded =
      InitialResponse(SaslMechanism::XOAuth2, "someuser@example.com", token, "ignored", 995);
  EXPECT_EQ(Base64Decode(encoded),
            "user=someuser@example.com\x01"
            "auth=Bearer " +
                token + "\x01\x01");
  EXPECT_EQ(encoded.find_first_of("\r\n "), std::string::npos);
}

TEST(SaslOAuthTest, OAuthBearerMessageIsTheRfc7628Form) {
  EXPECT_EQ(Base64Decode(InitialResponse(
                SaslMechanism::OAuthBearer, "user@example.com",
                "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==", "server.example.com", 143)),
            "n,a=user@example.com,\x01host=server.example.com\x01port=143\x01"
            "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01");
  // "," and "=" in the user name are escaped as RFC 5801 wants.
  EXPECT_TRUE(Base64Decode(InitialResponse(SaslMechanism::OAuthBearer, "a,b=c", "t", "h", 1))
                  ->starts_with("n,a=a=2Cb=3Dc,\x01"));
}

TEST(SaslOAuthTest, OAuthBearerOnlyWhereTheServerListsIt) {
  EXPECT_EQ(PickMechanism({"PLAIN", "oauthbearer", "XOAUTH2"}), SaslMechanism::OAuthBearer);
  EXPECT_EQ(PickMechanism({"PLAIN", "XOAUTH2"}), SaslMechanism::XOAuth2);
  EXPECT_EQ(PickMechanism({}), SaslMechanism::XOAuth2);
  EXPECT_EQ(MechanismName(SaslMechanism::OAuthBearer), "OAUTHBEARER");
  EXPECT_EQ(MechanismName(SaslMechanism::XOAuth2), "XOAUTH2");
  EXPECT_EQ(ErrorChallengeAnswer(SaslMechanism::XOAuth2), "");
  EXPECT_EQ(Base64Decode(ErrorChallengeAnswer(SaslMechanism::OAuthBearer)), "\x01");
}

struct ChallengeCase {
  const char* Name;
  std::string Challenge;
  std::optional<std::string> Reason;
};

class ErrorChallengeTest : public testing::TestWithParam<ChallengeCase> {};

TEST_P(ErrorChallengeTest, GivesTheServersReason) {
  EXPECT_EQ(ErrorChallengeReason(GetParam().Challenge), GetParam().Reason);
}

INSTANTIATE_TEST_SUITE_P(
    Challenges, ErrorChallengeTest,
    testing::Values(
        ChallengeCase{
            "Xoauth2",
            Base64Encode(
                R"({"status":"401","schemes":"bearer","scope":"https://mail.google.com/"})"),
            "401 (https://mail.google.com/)"},
        ChallengeCase{"OAuthBearer", Base64Encode(R"({"status":"invalid_token"})") + "\r\n",
                      "invalid_token"},
        ChallengeCase{"NumberStatus", Base64Encode(R"({"status":400})"), "400"},
        ChallengeCase{"NoStatus", Base64Encode(R"({"scope":"x"})"), std::nullopt},
        ChallengeCase{"NotJson", Base64Encode("go ahead"), std::nullopt},
        ChallengeCase{"NotBase64", "{\"status\":\"401\"}", std::nullopt},
        ChallengeCase{"Empty", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace postvane
