// SHA-256 (FIPS 180-4), for the PKCE code challenge.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace postvane {

std::array<uint8_t, 32> Sha256(std::string_view bytes);

}  // namespace postvane
