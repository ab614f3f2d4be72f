// Maps Qt widgets onto the caption model and back, in one fixed visiting order.
#include "desktop/gui/widget_captions.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <functional>
#include <vector>

#include "desktop/net/qt_text.h"

namespace postvane {

namespace {

// Buttons, tabs, group titles and menu entries read "&" as a mnemonic marker; caption texts
// are meant literally.
QString Literal(const std::string& text) {
  return ToQt(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Plain widgets and frames group controls the way a form's frames do; enter those only, not
// the inner parts of composite widgets (a combo box's list, a tab widget's bar).
bool IsContainer(const QWidget& widget) {
  const QMetaObject* meta = widget.metaObject();
  return meta == &QWidget::staticMetaObject || meta == &QFrame::staticMetaObject ||
         qobject_cast<const QGroupBox*>(&widget) != nullptr;
}

// Calls visit for every object the caption rule may touch, in visiting order.
void Walk(QObject& parent, const std::function<void(QObject&)>& visit) {
  for (QObject* child : parent.children()) {
    if (auto* menu = qobject_cast<QMenu*>(child)) {
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) visit(*action);
      }
      continue;
    }
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget == nullptr || widget->isWindow()) continue;
    visit(*widget);
    if (IsContainer(*widget)) Walk(*widget, visit);
  }
}

Control Describe(QObject& object) {
  Control control;
  control.Name = ToStd(object.objectName());
  if (auto* action = qobject_cast<QAction*>(&object)) {
    control.Kind = ControlKind::Menu;
    control.Caption = ToStd(action->text());
  } else if (auto* group = qobject_cast<QGroupBox*>(&object)) {
    control.Kind = ControlKind::Frame;
    control.Caption = ToStd(group->title());
  } else if (auto* label = qobject_cast<QLabel*>(&object)) {
    control.Kind = ControlKind::Label;
    control.Caption = ToStd(label->text());
  } else if (auto* button = qobject_cast<QPushButton*>(&object)) {
    control.Kind = ControlKind::CommandButton;
    control.Caption = ToStd(button->text());
  } else if (auto* check = qobject_cast<QCheckBox*>(&object)) {
    control.Kind = ControlKind::CheckBox;
    control.Caption = ToStd(check->text());
  } else if (auto* tabs = qobject_cast<QTabWidget*>(&object)) {
    control.Kind = ControlKind::TabStrip;
    for (int i = 0; i < tabs->count(); ++i) control.Tabs.push_back(ToStd(tabs->tabText(i)));
  } else if (auto* combo = qobject_cast<QComboBox*>(&object)) {
    control.Kind = ControlKind::ComboBox;
    for (int i = 0; i < combo->count(); ++i) control.Items.push_back(ToStd(combo->itemText(i)));
    control.SelectedIndex = static_cast<int16_t>(combo->currentIndex());
  }
  return control;
}

void Apply(QObject& object, const Control& control) {
  switch (control.Kind) {
    case ControlKind::Menu:
      if (auto* action = qobject_cast<QAction*>(&object)) {
        if (ToStd(action->text()) != control.Caption) action->setText(Literal(control.Caption));
      }
      break;
    case ControlKind::Frame:
      if (auto* group = qobject_cast<QGroupBox*>(&object)) {
        if (ToStd(group->title()) != control.Caption) group->setTitle(Literal(control.Caption));
      }
      break;
    case ControlKind::Label:
      if (auto* label = qobject_cast<QLabel*>(&object)) {
        if (ToStd(label->text()) != control.Caption) label->setText(ToQt(control.Caption));
      }
      break;
    case ControlKind::CommandButton:
    case ControlKind::CheckBox:
      if (auto* button = qobject_cast<QAbstractButton*>(&object)) {
        if (ToStd(button->text()) != control.Caption) button->setText(Literal(control.Caption));
      }
      break;
    case ControlKind::TabStrip:
      if (auto* tabs = qobject_cast<QTabWidget*>(&object)) {
        const int count = qMin(tabs->count(), static_cast<int>(control.Tabs.size()));
        for (int i = 0; i < count; ++i) {
          const std::string& text = control.Tabs[static_cast<std::size_t>(i)];
          if (ToStd(tabs->tabText(i)) != text) tabs->setTabText(i, Literal(text));
        }
      }
      break;
    case ControlKind::ComboBox:
      if (auto* combo = qobject_cast<QComboBox*>(&object)) {
        const int count = qMin(combo->count(), static_cast<int>(control.Items.size()));
        for (int i = 0; i < count; ++i) {
          const std::string& text = control.Items[static_cast<std::size_t>(i)];
          if (ToStd(combo->itemText(i)) != text) combo->setItemText(i, ToQt(text));
        }
        combo->setCurrentIndex(control.SelectedIndex);
      }
      break;
    case ControlKind::Other:
      break;
  }
}

std::vector<QObject*> Objects(QWidget& window) {
  std::vector<QObject*> objects;
  Walk(window, [&objects](QObject& object) { objects.push_back(&object); });
  return objects;
}

}  // namespace

Form DescribeCaptions(QWidget& window) {
  Form form;
  form.Name = ToStd(window.objectName());
  form.Caption = ToStd(window.windowTitle());
  for (QObject* object : Objects(window)) form.Controls.push_back(Describe(*object));
  return form;
}

void ApplyCaptions(QWidget& window, const Form& form) {
  if (ToStd(window.windowTitle()) != form.Caption) window.setWindowTitle(ToQt(form.Caption));
  const std::vector<QObject*> objects = Objects(window);
  const std::size_t count = qMin(objects.size(), form.Controls.size());
  for (std::size_t i = 0; i < count; ++i) {
    // Only a control still of the kind it was described as; the window does not change between
    // the two walks, so this guards against misuse, not against a race.
    if (Describe(*objects[i]).Kind == form.Controls[i].Kind) Apply(*objects[i], form.Controls[i]);
  }
}

void LocalizeWidgetCaptions(QWidget& window, int16_t languageBase) {
  Form form = DescribeCaptions(window);
  LocalizeCaptions(form, languageBase);
  ApplyCaptions(window, form);
}

}  // namespace postvane
