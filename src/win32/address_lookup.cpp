// getaddrinfo on a detached thread; the result travels to the socket's window as a message.
#include "win32/address_lookup.h"

#include <cstring>
#include <thread>

#include "win32/wide_text.h"

namespace postvane {

std::optional<SocketAddress> LiteralAddress(const std::string& host, uint16_t port) {
  SocketAddress address;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address.Storage);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    address.Length = sizeof(sockaddr_in);
    return address;
  }
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.Storage);
  if (inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    address.Length = sizeof(sockaddr_in6);
    return address;
  }
  return std::nullopt;
}

SocketAddress AsIpv6(const SocketAddress& address) {
  if (address.Family() != AF_INET) return address;
  const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address.Storage);
  SocketAddress mapped;
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&mapped.Storage);
  v6->sin6_family = AF_INET6;
  v6->sin6_port = v4->sin_port;
  // ::ffff:a.b.c.d
  v6->sin6_addr.s6_addr[10] = 0xFF;
  v6->sin6_addr.s6_addr[11] = 0xFF;
  std::memcpy(&v6->sin6_addr.s6_addr[12], &v4->sin_addr, 4);
  mapped.Length = sizeof(sockaddr_in6);
  return mapped;
}

bool StartAddressLookup(const std::string& host, uint16_t port, HWND window, UINT message,
                        WPARAM tag) {
  try {
    std::thread([wide = Widen(host), port, window, message, tag] {
      auto result = std::make_unique<LookupResult>();
      // The thread keeps Winsock up for itself, whatever the socket does meanwhile.
      WSADATA data{};
      const bool ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
      ADDRINFOW hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_protocol = IPPROTO_TCP;
      ADDRINFOW* list = nullptr;
      const std::wstring service = std::to_wstring(port);
      result->Error =
          ready ? GetAddrInfoW(wide.c_str(), service.c_str(), &hints, &list) : WSANOTINITIALISED;
      for (const ADDRINFOW* each = list; each != nullptr; each = each->ai_next) {
        if ((each->ai_family != AF_INET && each->ai_family != AF_INET6) ||
            each->ai_addrlen > sizeof(sockaddr_storage)) {
          continue;
        }
        SocketAddress address;
        std::memcpy(&address.Storage, each->ai_addr, each->ai_addrlen);
        address.Length = static_cast<int>(each->ai_addrlen);
        result->Addresses.push_back(address);
      }
      if (list != nullptr) FreeAddrInfoW(list);
      if (result->Error == 0 && result->Addresses.empty()) result->Error = WSAHOST_NOT_FOUND;
      if (ready) WSACleanup();
      if (PostMessageW(window, message, tag, reinterpret_cast<LPARAM>(result.get()))) {
        result.release();
      }
    }).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace postvane
