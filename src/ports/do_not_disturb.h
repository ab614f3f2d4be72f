// Whether the desktop asks programs to stay quiet (do not disturb, focus assist).
#pragma once

namespace postvane {

class DoNotDisturb {
 public:
  virtual ~DoNotDisturb() = default;
  // True while the desktop says so; false when it cannot tell.
  virtual bool Active() = 0;
};

}  // namespace postvane
