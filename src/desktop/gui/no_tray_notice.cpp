// A plain message window: the program has no other window a user could find.
#include "desktop/gui/no_tray_notice.h"

#include <QMessageBox>
#include <QPushButton>

#include "desktop/gui/form_look.h"
#include "desktop/gui/icon_library.h"
#include "text/own_text.h"
#include "text/string_id.h"
#include "text/string_table.h"

namespace postvane {

QWidget* TellNoNotificationArea(int16_t languageBase, std::ostream& err) {
  const std::string text = OwnString(languageBase, OwnText::NoNotificationArea);
  err << "Postvane: " << text << '\n';
  err.flush();

  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Postvane"),
                              QString::fromStdString(text), QMessageBox::NoButton);
  box->setTextFormat(Qt::PlainText);
  box->setObjectName(QStringLiteral("NoTrayNotice"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->setWindowIcon(ProgramIcon(1));
  box->setIconPixmap(IconPixmap(1, 48, box->devicePixelRatioF()));
  QPushButton* ok = box->addButton(QString::fromStdString(LocalString(languageBase, StringId::Ok)),
                                   QMessageBox::AcceptRole);
  box->setDefaultButton(ok);
  // Selectable, so the package name can be copied from here as from the terminal.
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 28em; }"));
  box->show();
  CenterOnScreen(*box);
  return box;
}

}  // namespace postvane
