#include "app/log_list.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QSaveFile>
#include <algorithm>

namespace calibrator {

namespace {

// Where a line's arrival time is kept on its item.
constexpr int kTimeRole = Qt::UserRole;
// The file name "Save log…" proposes.
const char kDefaultLogFile[] = "calibrator-log.txt";

// The tooltip of a line: its time, then the whole line. Rich text, so that
// the tooltip wraps a line longer than the screen is wide instead of cutting
// it off; the line itself is escaped so that it shows exactly as logged.
QString LineToolTip(const QDateTime &time, const QString &line) {
  return QStringLiteral("<p style='white-space:pre-wrap'>%1<br>%2</p>").arg(LogTimeText(time), line.toHtmlEscaped());
}

}  // namespace

QString LogTimeText(const QDateTime &time) { return time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"); }

TLogList::TLogList(QListWidget *list, QObject *parent)
    : QObject(parent),
      list_(list),
      copy_(new QAction("Copy", list)),
      copy_all_(new QAction("Copy all", list)),
      save_(new QAction(QString::fromUtf8("Save log…"), list)) {
  copy_->setObjectName("LogCopyAction");
  copy_all_->setObjectName("LogCopyAllAction");
  save_->setObjectName("LogSaveAction");
  copy_->setShortcut(QKeySequence::Copy);
  copy_all_->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
  save_->setShortcut(QKeySequence::Save);
  for (QAction *action : {copy_, copy_all_, save_}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setShortcutVisibleInContextMenu(true);
    list_->addAction(action);
  }
  list_->setContextMenuPolicy(Qt::ActionsContextMenu);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);

  connect(copy_, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(SelectedText()); });
  connect(copy_all_, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(AllText()); });
  connect(save_, &QAction::triggered, this, &TLogList::AskAndSave);
  connect(list_, &QListWidget::itemSelectionChanged, this, &TLogList::UpdateActions);
  QAbstractItemModel *model = list_->model();
  connect(model, &QAbstractItemModel::rowsInserted, this, &TLogList::UpdateActions);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &TLogList::UpdateActions);
  connect(model, &QAbstractItemModel::modelReset, this, &TLogList::UpdateActions);
  UpdateActions();
}

void TLogList::Append(const QString &line) {
  if (list_->count() > kLogMaxLines) list_->model()->removeRows(0, kLogTrimLines);
  const QDateTime now = QDateTime::currentDateTime();
  auto *item = new QListWidgetItem(line);
  item->setSizeHint(QSize(list_->fontMetrics().horizontalAdvance(line) + kLogItemMargin, kLogItemHeight));
  item->setData(kTimeRole, now);
  item->setToolTip(LineToolTip(now, line));
  list_->addItem(item);
  // Only the new line: the operator's multi-line selection for Copy is over.
  list_->setCurrentRow(list_->count() - 1, QItemSelectionModel::ClearAndSelect);
  list_->scrollToItem(item);
}

QDateTime TLogList::LineTime(int row) const { return list_->item(row)->data(kTimeRole).toDateTime(); }

QString TLogList::StampedLine(int row) const { return LogTimeText(LineTime(row)) + "  " + list_->item(row)->text(); }

QString TLogList::Lines(const QList<int> &rows) const {
  QString text;
  for (int row : rows) text += StampedLine(row) + '\n';
  return text;
}

QString TLogList::SelectedText() const {
  QList<int> rows;
  for (const QListWidgetItem *item : list_->selectedItems()) rows << list_->row(item);
  std::sort(rows.begin(), rows.end());  // selectedItems() is in the order they were picked
  return Lines(rows);
}

QString TLogList::AllText() const {
  QList<int> rows;
  for (int row = 0; row < list_->count(); ++row) rows << row;
  return Lines(rows);
}

bool TLogList::SaveTo(const QString &path, QString &error) const {
  QSaveFile file(path);
  const QByteArray bytes = AllText().toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(bytes) != bytes.size() || !file.commit()) {
    error = QString("The log could not be saved to \"%1\": %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

void TLogList::SaveLog(const QString &path) {
  QString error;
  if (!SaveTo(path, error)) QMessageBox::warning(list_->window(), QString::fromUtf8("Save log"), error);
}

void TLogList::AskAndSave() {
  const QString path = QFileDialog::getSaveFileName(list_->window(), QString::fromUtf8("Save log"), kDefaultLogFile,
                                                    "Text files (*.txt);;All files (*)");
  if (!path.isEmpty()) SaveLog(path);  // empty: the operator cancelled
}

void TLogList::UpdateActions() {
  copy_->setEnabled(!list_->selectedItems().isEmpty());
  copy_all_->setEnabled(list_->count() > 0);
  save_->setEnabled(list_->count() > 0);
}

}  // namespace calibrator
