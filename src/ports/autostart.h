// Whether the tray program starts when the user logs in: the desktop's autostart entry on
// Linux, the Run key on Windows.
#pragma once

namespace postvane {

class Autostart {
 public:
  virtual ~Autostart() = default;
  virtual bool Exists() const = 0;
  // Makes or removes it. False when that failed; then nothing is left half made.
  virtual bool Set(bool wanted) = 0;
};

}  // namespace postvane
