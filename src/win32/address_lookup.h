// Host addresses for the socket: an address in digits read at once, a name looked up on a
// thread of its own so the message loop never waits on the resolver. IPv4 and IPv6 alike.
#pragma once

// winsock2.h must come before windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace postvane {

struct SocketAddress {
  sockaddr_storage Storage{};
  int Length = 0;
  int Family() const { return Storage.ss_family; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&Storage); }
};

// "192.0.2.1", "2001:db8::1" or "[2001:db8::1]" with the port; nothing for a name.
std::optional<SocketAddress> LiteralAddress(const std::string& host, uint16_t port);

// The same address as an IPv4-mapped IPv6 one, for a dual-stack socket; others unchanged.
SocketAddress AsIpv6(const SocketAddress& address);

struct LookupResult {
  int Error = 0;  // Winsock's number (11001 host not found, ...); 0 with at least one address
  std::vector<SocketAddress> Addresses;
};

// Looks `host` up for `port` on a new thread and posts `message` to `window` with `tag` as
// wParam and a LookupResult* as lParam, which the receiver takes over (and deletes). A result
// that cannot be posted (the window is gone) is deleted by the thread. False when no thread
// could be started.
bool StartAddressLookup(const std::string& host, uint16_t port, HWND window, UINT message,
                        WPARAM tag);

// Takes over what StartAddressLookup posted.
inline std::unique_ptr<LookupResult> TakeLookupResult(LPARAM lParam) {
  return std::unique_ptr<LookupResult>(reinterpret_cast<LookupResult*>(lParam));
}

}  // namespace postvane
