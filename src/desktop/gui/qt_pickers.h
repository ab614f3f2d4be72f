// The pickers as Qt's file dialogs.
#pragma once

#include "desktop/gui/pickers.h"

namespace postvane {

class QtPickers : public Pickers {
 public:
  std::optional<QString> OpenFile(QWidget* owner, const FileFilter& filter,
                                  const QString& initialDir, const QString& fileName) override;
  QString BrowseForFolder(QWidget* owner, const QString& prompt) override;
};

}  // namespace postvane
