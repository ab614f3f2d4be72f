// The program's desktop name: menu entry, icon and AppStream data are called after it.
#pragma once

namespace postvane {

inline constexpr const char* kAppId = "org.postvane.Postvane";

}  // namespace postvane
