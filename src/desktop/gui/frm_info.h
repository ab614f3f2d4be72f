// The about window: logo, icon, version and the maker's notices, light on a dark ground.
#pragma once

#include <QWidget>
#include <string>

class QFrame;
class QLabel;

namespace postvane {

class frmInfo : public QWidget {
  Q_OBJECT

 public:
  explicit frmInfo(int16_t languageBase, QWidget* parent = nullptr);

  // Title in the user's language and the version line.
  void Form_Load();
  // The line under the frame that names the settings file in use.
  void ShowSettingsFile(const std::string& settingsFile);

  QFrame* Frame1 = nullptr;
  QLabel* Picture1 = nullptr;
  QWidget* Image1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QFrame* Line1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* SettingsFileLabel = nullptr;

 private:
  int16_t languageBase_;
};

}  // namespace postvane
