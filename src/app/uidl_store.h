// Where an acknowledgement saves the acknowledged position of a mailbox.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

class UidlStore {
 public:
  virtual ~UidlStore() = default;
  virtual void SaveUidl(int16_t index, const std::string& uidl) = 0;
};

}  // namespace postvane
