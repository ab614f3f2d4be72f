// Where an acknowledgement saves the acknowledged position of a mailbox.
#pragma once

#include <cstdint>
#include <string>

namespace postvane {

class UidlStore {
 public:
  virtual ~UidlStore() = default;
  virtual void SaveUidl(int16_t index, const std::string& uidl) = 0;
  // An IMAP mailbox's point: its UIDVALIDITY and the highest acknowledged UID.
  virtual void SaveImapPoint(int16_t index, uint32_t uidValidity, uint32_t lastUid) = 0;
};

}  // namespace postvane
