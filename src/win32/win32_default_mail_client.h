// The registered default mail client (Software\Clients\Mail), started with its own command.
#pragma once

#include "ports/default_mail_client.h"
#include "win32/win32_program_starter.h"

namespace postvane {

class Win32DefaultMailClient : public DefaultMailClient {
 public:
  std::string Name() override;
  bool Start() override;

 private:
  Win32ProgramStarter starter_;
};

}  // namespace postvane
