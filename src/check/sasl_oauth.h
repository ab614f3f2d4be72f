// The SASL mechanisms that carry an OAuth access token: XOAUTH2 and OAUTHBEARER (RFC 7628).
// Shared by every mail protocol's login: POP3 AUTH (RFC 5034) and IMAP AUTHENTICATE alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postvane {

enum class SaslMechanism { XOAuth2, OAuthBearer };

// The mechanism name as sent after AUTH / AUTHENTICATE.
std::string_view MechanismName(SaslMechanism mechanism);

// OAUTHBEARER when the server lists it among its SASL mechanisms (names in any case), else
// XOAUTH2, which servers that take tokens accept without always listing it.
SaslMechanism PickMechanism(const std::vector<std::string>& serverMechanisms);

// The client's first message, base64-encoded.
std::string InitialResponse(SaslMechanism mechanism, std::string_view user,
                            std::string_view accessToken, std::string_view host, int port);

// The answer to the server's error challenge that the mechanism requires, after which the
// server ends the exchange with its failure reply: an empty line for XOAUTH2, the base64 of
// %x01 for OAUTHBEARER.
std::string_view ErrorChallengeAnswer(SaslMechanism mechanism);

// The server's reason from an error challenge (base64 of a JSON object with "status" and
// perhaps "scope"): "status" or "status (scope)"; nothing when it is not such a challenge.
std::optional<std::string> ErrorChallengeReason(std::string_view base64);

// A server's or a provider's words as one line of plain text for a status: control characters
// dropped, cut to a readable length.
std::string ServerReason(std::string_view text);

}  // namespace postvane
