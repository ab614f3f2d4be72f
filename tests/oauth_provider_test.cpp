// The two built-in providers, discovery documents and which endpoints may be asked.
#include "check/oauth_provider.h"

#include <gtest/gtest.h>

#include <string>

namespace postvane {
namespace {

TEST(OAuthProviderTest, PresetsHoldTheProvidersPublishedEndpoints) {
  const std::optional<OAuthEndpoints> google = PresetEndpoints("Google");
  ASSERT_TRUE(google);
  EXPECT_EQ(google->AuthorizationEndpoint, "https://accounts.google.com/o/oauth2/v2/auth");
  EXPECT_EQ(google->TokenEndpoint, "https://oauth2.googleapis.com/token");
  EXPECT_EQ(google->Scope, "https://mail.google.com/");
  const std::optional<OAuthEndpoints> microsoft = PresetEndpoints("microsoft");
  ASSERT_TRUE(microsoft);
  EXPECT_EQ(microsoft->AuthorizationEndpoint,
            "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
  EXPECT_EQ(microsoft->TokenEndpoint, "https://login.microsoftonline.com/common/oauth2/v2.0/token");
  EXPECT_EQ(microsoft->Scope,
            "https://outlook.office.com/POP.AccessAsUser.All "
            "https://outlook.office.com/IMAP.AccessAsUser.All offline_access");
  for (const char* other : {"", "googlemail", "https://accounts.google.com", "micro soft"}) {
    EXPECT_FALSE(PresetEndpoints(other)) << other;
  }
}

struct EndpointCase {
  const char* Url;
  bool Allowed;
};

class EndpointPolicyTest : public testing::TestWithParam<EndpointCase> {};

TEST_P(EndpointPolicyTest, HttpsAnywherePlainOnlyOnLoopback) {
  EXPECT_EQ(IsAllowedEndpoint(GetParam().Url), GetParam().Allowed);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, EndpointPolicyTest,
    testing::Values(EndpointCase{"https://login.example.org/token", true},
                    EndpointCase{"HTTPS://login.example.org", true},
                    EndpointCase{"http://127.0.0.1:8080/token", true},
                    EndpointCase{"http://127.0.0.1/token", true},
                    EndpointCase{"http://login.example.org/token", false},
                    EndpointCase{"http://localhost:8080/token", false},
                    EndpointCase{"http://127.0.0.1.example.org/token", false},
                    EndpointCase{"http://127.0.0.1@example.org/token", false},
                    EndpointCase{"https://user@login.example.org/token", false},
                    EndpointCase{"https:///token", false},
                    EndpointCase{"https://login.example.org/a b", false},
                    EndpointCase{"https://login.example.org/\r\nX: y", false},
                    EndpointCase{"ftp://login.example.org/", false},
                    EndpointCase{"login.example.org/token", false}, EndpointCase{"", false}));

TEST(DiscoveryTest, AddressIsTheWellKnownPathBelowTheIssuer) {
  EXPECT_EQ(DiscoveryUrl("https://id.example.org/realms/mail/"),
            "https://id.example.org/realms/mail/.well-known/openid-configuration");
  EXPECT_EQ(DiscoveryUrl("http://127.0.0.1:4000"),
            "http://127.0.0.1:4000/.well-known/openid-configuration");
  EXPECT_FALSE(DiscoveryUrl("http://id.example.org"));
  EXPECT_FALSE(DiscoveryUrl("https://id.example.org/?x=1"));
}

TEST(DiscoveryTest, ReadsTheEndpointsAndAsksForOfflineAccessWhereListed) {
  const std::string document = R"({"issuer":"https://id.example.org/realms/mail",
    "authorization_endpoint":"https://id.example.org/auth",
    "token_endpoint":"https://id.example.org/token",
    "scopes_supported":["openid","email","offline_access"], "extra":{"nested":[1,2,3]}})";
  const std::optional<OAuthEndpoints> endpoints =
      ParseDiscovery(document, "https://id.example.org/realms/mail/");
  ASSERT_TRUE(endpoints);
  EXPECT_EQ(endpoints->AuthorizationEndpoint, "https://id.example.org/auth");
  EXPECT_EQ(endpoints->TokenEndpoint, "https://id.example.org/token");
  EXPECT_EQ(endpoints->Scope, "openid email offline_access");
}

struct BadDiscoveryCase {
  const char* Name;
  std::string Document;
};

class BadDiscoveryTest : public testing::TestWithParam<BadDiscoveryCase> {};

TEST_P(BadDiscoveryTest, GivesNoEndpoints) {
  EXPECT_FALSE(ParseDiscovery(GetParam().Document, "https://id.example.org"));
}

INSTANTIATE_TEST_SUITE_P(
    Documents, BadDiscoveryTest,
    testing::Values(
        BadDiscoveryCase{"OtherIssuer",
                         R"({"issuer":"https://evil.example.org","authorization_endpoint":
            "https://id.example.org/a","token_endpoint":"https://id.example.org/t"})"},
        BadDiscoveryCase{"PlainTokenEndpoint",
                         R"({"issuer":"https://id.example.org","authorization_endpoint":
            "https://id.example.org/a","token_endpoint":"http://id.example.org/t"})"},
        BadDiscoveryCase{"MissingEndpoint",
                         R"({"issuer":"https://id.example.org","token_endpoint":"https://x/t"})"},
        BadDiscoveryCase{"NumberEndpoint",
                         R"({"issuer":"https://id.example.org","authorization_endpoint":1,
            "token_endpoint":"https://id.example.org/t"})"},
        BadDiscoveryCase{"NotJson", "<html>login</html>"}, BadDiscoveryCase{"Array", "[]"},
        BadDiscoveryCase{"Cut", R"({"issuer":"https://id.exa)"},
        BadDiscoveryCase{"DeepNesting", std::string(100000, '[') + std::string(100000, ']')},
        BadDiscoveryCase{"Huge", R"({"issuer":")" + std::string(300000, 'x') + R"("})"}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace postvane
