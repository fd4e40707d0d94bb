// The log of the main window: a list of lines, newest last and selected, the
// oldest dropped in a batch when it grows long. Each line keeps its text as
// it was logged and the local time it arrived at; its tooltip shows that time
// with the whole line. The list's context menu copies the selected lines or
// all of them, or saves the log to a file the operator names; nothing is
// written anywhere unless the operator asks.
#ifndef APP_LOG_LIST_H
#define APP_LOG_LIST_H

#include <QDateTime>
#include <QObject>
#include <QString>

class QAction;
class QListWidget;

namespace calibrator {

class TLogList : public QObject {
  Q_OBJECT

 public:
  // A long log is trimmed in one batch rather than a line at a time, so
  // that the list does not scroll under the operator's eyes on every line.
  static constexpr int kLogMaxLines = 200;
  static constexpr int kLogTrimLines = 50;
  // Height of one line of the list, and the room beside its text, in pixels.
  static constexpr int kLogItemHeight = 13;
  static constexpr int kLogItemMargin = 4;

  // Serves `list`, which stays owned by its form. Installs the context menu
  // on it and lets the operator select several lines for Copy.
  explicit TLogList(QListWidget *list, QObject *parent = nullptr);

  // When the list holds more than kLogMaxLines lines, removes its
  // kLogTrimLines oldest; then appends `line` stamped with the current local
  // time and selects it, so that it is visible.
  void Append(const QString &line);

  // The time line `row` was logged at.
  QDateTime LineTime(int row) const;
  // Line `row` as it is copied and saved: its time, two spaces, its text.
  QString StampedLine(int row) const;
  // The selected lines, oldest first, each ending with a line break.
  QString SelectedText() const;
  // Every line, oldest first, each ending with a line break.
  QString AllText() const;

  // Writes AllText() to `path` in UTF-8, replacing the file only once the
  // whole log is written. On failure, returns false and sets `error` to a
  // message naming the file and the reason.
  bool SaveTo(const QString &path, QString &error) const;
  // What "Save log…" does once the operator has named `path`: saves, and
  // shows a failure in a message box over the list's window.
  void SaveLog(const QString &path);

  // The context menu's actions, also reachable by their shortcuts while the
  // list has focus.
  QAction *CopyAction() const { return copy_; }
  QAction *CopyAllAction() const { return copy_all_; }
  QAction *SaveAction() const { return save_; }

 private:
  // Copy needs a selection; Copy all and Save log need a line.
  void UpdateActions();
  // Asks for a file name and saves there.
  void AskAndSave();
  // The text of `rows`, in the order given, each ending with a line break.
  QString Lines(const QList<int> &rows) const;

  QListWidget *list_;
  QAction *copy_;
  QAction *copy_all_;
  QAction *save_;
};

// A time as log lines show it: local, to the second.
QString LogTimeText(const QDateTime &time);

}  // namespace calibrator

#endif
