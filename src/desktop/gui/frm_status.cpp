// Turns the core's status nodes into tree items; keys ride along in the items' data.
#include "desktop/gui/frm_status.h"

#include <QHash>
#include <QHeaderView>
#include <QTreeWidget>

#include "app/postvane_app.h"
#include "desktop/gui/form_look.h"
#include "desktop/gui/icon_library.h"
#include "desktop/net/qt_text.h"

namespace postvane {

namespace {

constexpr int kKeyRole = Qt::UserRole;

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

frmStatus::frmStatus(PostvaneApp& app, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      app_(app) {
  setObjectName(QStringLiteral("frmStatus"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Status"));
  setWindowIcon(ProgramIcon(1));
  UseFormFont(*this);
  setFixedSize(287, 184);

  TreeView1 = new QTreeWidget(this);
  TreeView1->setObjectName(QStringLiteral("TreeView1"));
  TreeView1->setGeometry(7, 7, 274, 169);
  TreeView1->setHeaderHidden(true);
  TreeView1->setColumnCount(1);
  TreeView1->setRootIsDecorated(true);
  TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Long header lines scroll sideways instead of being cut off.
  TreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  TreeView1->header()->setStretchLastSection(false);

  connect(TreeView1, &QTreeWidget::itemExpanded, this, &frmStatus::TreeView1_Expand);
  connect(TreeView1, &QTreeWidget::itemCollapsed, this, &frmStatus::TreeView1_Collapse);
}

void frmStatus::Form_Load() {
  TreeView1->clear();
  QHash<QString, QTreeWidgetItem*> byKey;
  for (const StatusNode& node : app_.BuildStatusTree()) {
    QTreeWidgetItem* item = nullptr;
    if (node.Parent.empty()) {
      item = new QTreeWidgetItem(TreeView1);
    } else {
      QTreeWidgetItem* parent = byKey.value(Q(node.Parent), nullptr);
      // Every parent precedes its children; a stray node goes to the top rather than nowhere.
      item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TreeView1);
    }
    const QString key = Q(node.Key);
    item->setText(0, Q(node.Text));
    item->setData(0, kKeyRole, key);
    if (const std::optional<NodeRgb> rgb = ColorRgb(node.Color)) {
      item->setForeground(0, QColor(rgb->Red, rgb->Green, rgb->Blue));
    }
    byKey.insert(key, item);
  }
  TreeView1->collapseAll();
}

QTreeWidgetItem* frmStatus::Node(const QString& key) const {
  for (QTreeWidgetItemIterator it(TreeView1); *it != nullptr; ++it) {
    if (KeyOf(**it) == key) return *it;
  }
  return nullptr;
}

QString frmStatus::KeyOf(const QTreeWidgetItem& item) { return item.data(0, kKeyRole).toString(); }

void frmStatus::TreeView1_Expand(QTreeWidgetItem* node) {
  if (node == nullptr) return;
  if (const std::optional<std::string> text = app_.StatusNodeTextOnExpand(ToStd(KeyOf(*node)))) {
    node->setText(0, Q(*text));
  }
}

void frmStatus::TreeView1_Collapse(QTreeWidgetItem* node) {
  if (node == nullptr) return;
  if (const std::optional<std::string> text = app_.StatusNodeTextOnCollapse(ToStd(KeyOf(*node)))) {
    node->setText(0, Q(*text));
  }
}

}  // namespace postvane
