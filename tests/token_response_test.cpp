// Token endpoint answers and the refresh margin.
#include "check/token_response.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

using Kind = TokenResponse::Kind;

TEST(TokenResponseTest, ReadsALongTokenWithItsRefreshTokenAndLifetime) {
  const std::string access(1600, 'a');
  const std::string refresh(1200, 'r');
  const TokenResponse response = ParseTokenResponse(
      200, R"({"access_token":")" + access + R"(","token_type":"bearer","expires_in":3599,)" +
               R"("refresh_token":")" + refresh + R"(","scope":"https://mail.google.com/"})");
  EXPECT_EQ(response.What, Kind::Token);
  EXPECT_EQ(response.AccessToken, access);
  EXPECT_EQ(response.RefreshToken, refresh);
  EXPECT_EQ(response.ExpiresIn, 3599);
}

struct AnswerCase {
  const char* Name;
  int Status;
  const char* Body;
  Kind What;
  int64_t ExpiresIn;
  const char* Error;
};

class TokenAnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(TokenAnswerTest, Classifies) {
  const TokenResponse response = ParseTokenResponse(GetParam().Status, GetParam().Body);
  EXPECT_EQ(response.What, GetParam().What);
  EXPECT_EQ(response.ExpiresIn, GetParam().ExpiresIn);
  EXPECT_EQ(response.Error, GetParam().Error);
  if (response.What != Kind::Token) {
    EXPECT_TRUE(response.AccessToken.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TokenAnswerTest,
    testing::Values(
        AnswerCase{"LifetimeAsText", 200,
                   R"({"access_token":"t","token_type":"Bearer","expires_in":"3600"})", Kind::Token,
                   3600, ""},
        AnswerCase{"NoLifetime", 200, R"({"access_token":"t","token_type":"Bearer"})", Kind::Token,
                   0, ""},
        AnswerCase{"NegativeLifetime", 200,
                   R"({"access_token":"t","token_type":"Bearer","expires_in":-5})", Kind::Token, 0,
                   ""},
        AnswerCase{"HugeLifetime", 200,
                   R"({"access_token":"t","token_type":"Bearer","expires_in":1e300})", Kind::Token,
                   365LL * 24 * 3600, ""},
        AnswerCase{"GarbledLifetime", 200,
                   R"({"access_token":"t","token_type":"Bearer","expires_in":"36x"})", Kind::Token,
                   0, ""},
        AnswerCase{
            "InvalidGrant", 400,
            R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})",
            Kind::Expired, 0, "invalid_grant: Token has been expired or revoked."},
        AnswerCase{"InvalidClient", 401, R"({"error":"invalid_client"})", Kind::Refused, 0,
                   "invalid_client"},
        AnswerCase{"ErrorWithStatus200", 200, R"({"error":"invalid_grant","access_token":"t"})",
                   Kind::Expired, 0, "invalid_grant"},
        AnswerCase{"TokenWithStatus500", 500, R"({"access_token":"t","token_type":"Bearer"})",
                   Kind::Garbled, 0, ""},
        AnswerCase{"OtherTokenType", 200, R"({"access_token":"t","token_type":"mac"})",
                   Kind::Garbled, 0, ""},
        AnswerCase{"TokenNotAString", 200, R"({"access_token":7,"token_type":"Bearer"})",
                   Kind::Garbled, 0, ""},
        AnswerCase{"HtmlPage", 502, "<html>Bad gateway</html>", Kind::Garbled, 0, ""},
        AnswerCase{"Empty", 200, "", Kind::Garbled, 0, ""},
        AnswerCase{"InvalidUtf8", 200, "{\"access_token\":\"\xFF\",\"token_type\":\"Bearer\"}",
                   Kind::Garbled, 0, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AccessTokenTest, RefreshedWhenItRunsOutWithinAMinute) {
  const AccessToken token = AccessTokenFrom(
      ParseTokenResponse(200, R"({"access_token":"t","token_type":"Bearer","expires_in":600})"),
      1000);
  EXPECT_EQ(token.ExpiresAt, 1600);
  EXPECT_FALSE(NeedsRefresh(token, 1000));
  EXPECT_FALSE(NeedsRefresh(token, 1600 - kRefreshMargin - 1));
  EXPECT_TRUE(NeedsRefresh(token, 1600 - kRefreshMargin));
  EXPECT_TRUE(NeedsRefresh(token, 5000));
  EXPECT_TRUE(NeedsRefresh(AccessToken{}, 0));
  // A token without a lifetime serves the check at hand and is renewed for the next.
  const AccessToken once = AccessTokenFrom(
      ParseTokenResponse(200, R"({"access_token":"t","token_type":"Bearer"})"), 1000);
  EXPECT_FALSE(once.Token.empty());
  EXPECT_TRUE(NeedsRefresh(once, 1000 + 1));
  EXPECT_TRUE(AccessTokenFrom(ParseTokenResponse(400, R"({"error":"x"})"), 0).Token.empty());
}

}  // namespace
}  // namespace postvane
