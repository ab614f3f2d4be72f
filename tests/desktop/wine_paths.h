// What the tests that run the Windows programs under Wine share: paths as Wine's programs see
// them, and settings files compared without the port numbers each run's servers got.
#pragma once

#include <algorithm>
#include <string>

namespace postvane::test {

// The Unix root is drive Z.
inline std::string WinePath(const std::string& path) {
  std::string out = "Z:" + path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

inline std::string WithoutPorts(std::string settings) {
  std::size_t at = 0;
  while ((at = settings.find("RemotePort=", at)) != std::string::npos) {
    at += 11;
    const std::size_t end = settings.find('\r', at);
    settings.replace(at, end - at, "N");
  }
  return settings;
}

}  // namespace postvane::test
