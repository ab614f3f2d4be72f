// The Linux desktop's default mail client: the mailto: handler's desktop entry, started with
// its own command line.
#pragma once

#include <cstdint>
#include <string>

#include "ports/default_mail_client.h"
#include "ports/file_system.h"
#include "ports/path_probe.h"

namespace postvane {

class XdgMailClient : public DefaultMailClient {
 public:
  // Looked up again on every question: the user may choose another client while we run.
  XdgMailClient(FileSystem& files, PathProbe& environment, const int16_t& languageBase)
      : files_(files), environment_(environment), languageBase_(languageBase) {}

  std::string Name() override;
  bool Start() override;

 private:
  FileSystem& files_;
  PathProbe& environment_;
  const int16_t& languageBase_;
};

}  // namespace postvane
