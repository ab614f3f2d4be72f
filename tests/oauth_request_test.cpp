// The flow's requests: PKCE, the authorization address, the token request bodies and what
// the loopback redirect brings back.
#include "check/oauth_request.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace postvane {
namespace {

// The query of an address as name -> value, decoded.
std::map<std::string, std::string> Query(const std::string& url) {
  std::map<std::string, std::string> values;
  std::string rest = url.substr(url.find('?') + 1);
  while (!rest.empty()) {
    const std::string pair = rest.substr(0, rest.find('&'));
    rest = rest.find('&') == std::string::npos ? "" : rest.substr(rest.find('&') + 1);
    const std::size_t eq = pair.find('=');
    std::string value;
    const std::string raw = pair.substr(eq + 1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '%') {
        value += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        value += raw[i];
      }
    }
    values[pair.substr(0, eq)] = value;
  }
  return values;
}

TEST(PkceTest, ChallengeOfTheRfc7636Example) {
  EXPECT_EQ(CodeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(PkceTest, SecretsAreUnreservedLongEnoughAndNeverRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const SignInSecrets secrets = MakeSignInSecrets();
    // RFC 7636: 43 to 128 characters of the unreserved set.
    EXPECT_EQ(secrets.Verifier.size(), 43u);
    EXPECT_EQ(FormEncode(secrets.Verifier), secrets.Verifier);
    EXPECT_EQ(FormEncode(secrets.State), secrets.State);
    EXPECT_NE(secrets.State, secrets.Verifier);
    EXPECT_TRUE(seen.insert(secrets.Verifier).second);
  }
  const std::string bytes(64, '\x7F');
  EXPECT_EQ(MakeSignInSecrets(bytes).Verifier, MakeSignInSecrets(bytes).Verifier);
}

TEST(AuthorizationUrlTest, CarriesEveryParameterEncoded) {
  const SignInSecrets secrets = MakeSignInSecrets();
  const OAuthEndpoints microsoft = *PresetEndpoints("microsoft");
  const std::string url = AuthorizationUrl(microsoft, "client id&x", LoopbackRedirect(49152),
                                           secrets, "alice+mail@example.org");
  ASSERT_TRUE(url.starts_with(microsoft.AuthorizationEndpoint + "?"));
  EXPECT_EQ(url.find(' '), std::string::npos);
  std::map<std::string, std::string> query = Query(url);
  EXPECT_EQ(query["response_type"], "code");
  EXPECT_EQ(query["client_id"], "client id&x");
  EXPECT_EQ(query["redirect_uri"], "http://127.0.0.1:49152/");
  EXPECT_EQ(query["scope"], microsoft.Scope);
  EXPECT_EQ(query["state"], secrets.State);
  EXPECT_EQ(query["code_challenge"], CodeChallenge(secrets.Verifier));
  EXPECT_EQ(query["code_challenge_method"], "S256");
  EXPECT_EQ(query["login_hint"], "alice+mail@example.org");
  EXPECT_FALSE(query.contains("access_type"));
  // Google gives a refresh token only for offline access asked with consent.
  query =
      Query(AuthorizationUrl(*PresetEndpoints("google"), "id", LoopbackRedirect(1), secrets, ""));
  EXPECT_EQ(query["access_type"], "offline");
  EXPECT_EQ(query["prompt"], "consent");
  EXPECT_FALSE(query.contains("login_hint"));
  // An endpoint that has a query already gets the parameters after it.
  OAuthEndpoints withQuery = microsoft;
  withQuery.AuthorizationEndpoint = "https://id.example.org/auth?tenant=7";
  EXPECT_TRUE(AuthorizationUrl(withQuery, "id", "r", secrets, "")
                  .starts_with("https://id.example.org/auth?tenant=7&response_type=code"));
}

TEST(TokenRequestTest, BodiesHoldTheGrantAndOnlyAGivenSecret) {
  EXPECT_EQ(CodeRedemptionBody("c/1", "http://127.0.0.1:5/", "id", "", "v"),
            "grant_type=authorization_code&code=c%2F1&redirect_uri=http%3A%2F%2F127.0.0.1%3A5%2F"
            "&client_id=id&code_verifier=v");
  EXPECT_EQ(RefreshBody("1//r+t", "id", "s&s", "a b"),
            "grant_type=refresh_token&refresh_token=1%2F%2Fr%2Bt&client_id=id&client_secret=s%26s"
            "&scope=a%20b");
}

struct RedirectCase {
  const char* Name;
  const char* Line;
  RedirectResult::Kind What;
  const char* Code;
  const char* Error;
};

class RedirectTest : public testing::TestWithParam<RedirectCase> {};

TEST_P(RedirectTest, ReadsTheRequestLine) {
  const RedirectResult result = ReadRedirect(GetParam().Line, "st-1");
  EXPECT_EQ(result.What, GetParam().What);
  EXPECT_EQ(result.Code, GetParam().Code);
  EXPECT_EQ(result.Error, GetParam().Error);
}

using Kind = RedirectResult::Kind;
INSTANTIATE_TEST_SUITE_P(
    Lines, RedirectTest,
    testing::Values(
        RedirectCase{"Code", "GET /?code=4%2F0Ab&state=st-1 HTTP/1.1", Kind::Code, "4/0Ab", ""},
        RedirectCase{"StateFirst", "GET /?state=st-1&scope=x&code=abc HTTP/1.1", Kind::Code, "abc",
                     ""},
        RedirectCase{"WrongState", "GET /?code=abc&state=st-2 HTTP/1.1", Kind::WrongState, "", ""},
        RedirectCase{"NoState", "GET /?code=abc HTTP/1.1", Kind::WrongState, "", ""},
        RedirectCase{"ErrorWithoutState", "GET /?error=access_denied HTTP/1.1", Kind::WrongState,
                     "", ""},
        RedirectCase{"Denied",
                     "GET /?error=access_denied&error_description=User+said+no&state=st-1 "
                     "HTTP/1.1",
                     Kind::Refused, "", "access_denied: User said no"},
        RedirectCase{"Favicon", "GET /favicon.ico HTTP/1.1", Kind::NotOurs, "", ""},
        RedirectCase{"Post", "POST /?code=abc&state=st-1 HTTP/1.1", Kind::NotOurs, "", ""},
        RedirectCase{"EmptyCode", "GET /?code=&state=st-1 HTTP/1.1", Kind::NotOurs, "", ""},
        RedirectCase{"BrokenEscape", "GET /?code=a%2&state=st-1 HTTP/1.1", Kind::Code, "a%2", ""},
        RedirectCase{"Garbage", "\x01\xFF GET", Kind::NotOurs, "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace postvane
