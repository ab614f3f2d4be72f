// The status window: a tree of the enabled mailboxes, their new messages and check results.
#pragma once

#include <QString>
#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;

namespace postvane {

class PostvaneApp;

class frmStatus : public QWidget {
  Q_OBJECT

 public:
  explicit frmStatus(PostvaneApp& app, QWidget* parent = nullptr);

  // Builds the tree from the mailbox table as it is now.
  void Form_Load();

  // The node of a key, or null.
  QTreeWidgetItem* Node(const QString& key) const;
  static QString KeyOf(const QTreeWidgetItem& item);

  QTreeWidget* TreeView1 = nullptr;

 private:
  void TreeView1_Expand(QTreeWidgetItem* node);
  void TreeView1_Collapse(QTreeWidgetItem* node);

  PostvaneApp& app_;
};

}  // namespace postvane
