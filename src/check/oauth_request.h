// The requests of the authorization code flow with PKCE (RFC 6749, RFC 7636, RFC 8252): the
// address the browser opens, what the loopback redirect brings back, and the token requests.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "check/oauth_provider.h"

namespace postvane {

// What one sign-in keeps between opening the browser and redeeming the code.
struct SignInSecrets {
  std::string State;     // checked against the redirect: no other page's code is taken
  std::string Verifier;  // PKCE code verifier, 43 characters
};

// State and verifier from 64 random bytes (the first 32 for each); from the system's random
// source when no bytes are given.
SignInSecrets MakeSignInSecrets(std::string_view randomBytes = {});

// BASE64URL(SHA-256(verifier)), the S256 code challenge.
std::string CodeChallenge(std::string_view verifier);

// Percent-encoding of everything but the unreserved characters, as forms and queries want it.
std::string FormEncode(std::string_view text);

// "http://127.0.0.1:PORT/" for the listener's port.
std::string LoopbackRedirect(int port);

std::string AuthorizationUrl(const OAuthEndpoints& endpoints, std::string_view clientId,
                             std::string_view redirectUri, const SignInSecrets& secrets,
                             std::string_view loginHint);

// application/x-www-form-urlencoded bodies for the token endpoint. The client secret goes only
// when there is one.
std::string CodeRedemptionBody(std::string_view code, std::string_view redirectUri,
                               std::string_view clientId, std::string_view clientSecret,
                               std::string_view verifier);
std::string RefreshBody(std::string_view refreshToken, std::string_view clientId,
                        std::string_view clientSecret, std::string_view scope);

// What the browser brought to the loopback listener.
struct RedirectResult {
  enum class Kind {
    Code,        // a code with the right state
    Refused,     // the provider sent an error (the user said no, or it refused the client)
    WrongState,  // a state other than ours, or none: some other page's request
    NotOurs,     // no code and no error (a favicon, a probe)
  };
  Kind What = Kind::NotOurs;
  std::string Code;
  std::string Error;  // the provider's error code and description, as text
};

// From the request's first line ("GET /?code=...&state=... HTTP/1.1").
RedirectResult ReadRedirect(std::string_view requestLine, std::string_view expectedState);

}  // namespace postvane
