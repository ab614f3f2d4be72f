// The desktop's default mail client, for when the user has set no mail program.
#pragma once

#include <string>

namespace postvane {

class DefaultMailClient {
 public:
  virtual ~DefaultMailClient() = default;
  // Its name as the desktop shows it; empty when the desktop has none.
  virtual std::string Name() = 0;
  // Starts it without waiting. False when there is none or it could not be started.
  virtual bool Start() = 0;
};

}  // namespace postvane
