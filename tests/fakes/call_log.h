// One ordered list of calls that several fakes can share, to test the order across them.
#pragma once

#include <string>
#include <vector>

namespace postvane {

using CallLog = std::vector<std::string>;

}  // namespace postvane
