// The log of the main window: the trim rule, each line's time in its
// tooltip, the context menu's Copy, Copy all and Save log.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocumentFragment>

#include "app/log_list.h"
#include "tests/app/gui_driver.h"

namespace calibrator {
namespace {

// A saved or copied line: local time to the second, two spaces, the text.
const QRegularExpression kStampedLine(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)  (.*)$)");

// A log line far wider than the list, with characters that mean something
// in rich text.
QString LongLine() { return "Download setup error: <" + QString("the device said & did ").repeated(20) + "this> end"; }

class AppLogList : public ::testing::Test {
 protected:
  // Appends `count` lines "line 1", "line 2", ...
  void AppendLines(int count) {
    for (int i = 1; i <= count; ++i) log_.Append(QString("line %1").arg(i));
  }
  QStringList Texts() const {
    QStringList texts;
    for (int row = 0; row < list_.count(); ++row) texts << list_.item(row)->text();
    return texts;
  }
  // Splits `text` into lines, checks each against kStampedLine and returns
  // the texts after the time.
  static std::vector<std::string> TextsOfStamped(const QString &text) {
    std::vector<std::string> texts;
    EXPECT_TRUE(text.endsWith('\n')) << "every line ends with a line break";
    QStringList lines = text.split('\n');
    lines.removeLast();
    for (const QString &line : lines) {
      const QRegularExpressionMatch match = kStampedLine.match(line);
      EXPECT_TRUE(match.hasMatch()) << "no time in: " << line.toStdString();
      texts.push_back(match.captured(2).toStdString());
    }
    return texts;
  }

  QListWidget list_;
  TLogList log_{&list_};
};

struct TrimCase {
  const char *name;
  int lines_before;
  int lines_after;
  const char *first_after;
};
void PrintTo(const TrimCase &row, std::ostream *out) { *out << row.name; }

using Lines = std::vector<std::string>;

class AppLogListTrim : public AppLogList, public ::testing::WithParamInterface<TrimCase> {};

TEST_P(AppLogListTrim, ALineArrivingOverTheLimitFirstDropsTheFiftyOldest) {
  AppendLines(GetParam().lines_before);
  log_.Append("the new line");
  const QStringList texts = Texts();
  EXPECT_EQ(texts.size(), GetParam().lines_after);
  EXPECT_EQ(texts.value(0), GetParam().first_after);
  EXPECT_EQ(texts.value(texts.size() - 1), "the new line");
  EXPECT_EQ(list_.currentRow(), list_.count() - 1) << "the new line is current";
  ASSERT_EQ(list_.selectedItems().size(), 1);
  EXPECT_EQ(list_.selectedItems().first()->text(), "the new line") << "and the only one selected";
}

INSTANTIATE_TEST_SUITE_P(Lines, AppLogListTrim,
                         ::testing::Values(TrimCase{"empty", 0, 1, "the new line"},
                                           TrimCase{"below_limit", 199, 200, "line 1"},
                                           TrimCase{"at_limit", 200, 201, "line 1"},
                                           TrimCase{"over_limit", 201, 152, "line 51"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(AppLogList, LineKeepsItsTextAndItsTooltipHasItsTimeAndTheWholeLine) {
  const QString line = LongLine();
  const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
  log_.Append(line);
  const QDateTime after = QDateTime::currentDateTime();

  QListWidgetItem *item = list_.item(0);
  EXPECT_EQ(item->text(), line);
  EXPECT_EQ(item->sizeHint().height(), TLogList::kLogItemHeight);
  const QDateTime time = log_.LineTime(0);
  EXPECT_TRUE(time >= before && time <= after) << time.toString().toStdString();

  const QString tooltip = QTextDocumentFragment::fromHtml(item->toolTip()).toPlainText();
  EXPECT_TRUE(tooltip.startsWith(LogTimeText(time))) << tooltip.toStdString();
  EXPECT_TRUE(tooltip.contains(line)) << "the whole line, as logged: " << tooltip.toStdString();
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)").match(LogTimeText(time)).hasMatch())
      << "local time to the second: " << LogTimeText(time).toStdString();
}

TEST_F(AppLogList, ContextMenuOffersCopyCopyAllAndSave) {
  EXPECT_EQ(list_.contextMenuPolicy(), Qt::ActionsContextMenu);
  Lines texts;
  for (const QAction *action : list_.actions()) texts.push_back(action->text().toStdString());
  EXPECT_EQ(texts, Lines({"Copy", "Copy all", "Save log…"}));

  for (QAction *action : list_.actions())
    EXPECT_FALSE(action->isEnabled()) << "empty log: " << action->text().toStdString();
  AppendLines(2);
  for (QAction *action : list_.actions()) EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
  list_.clearSelection();
  EXPECT_FALSE(log_.CopyAction()->isEnabled()) << "nothing selected, nothing to copy";
  list_.clear();
  EXPECT_FALSE(log_.CopyAllAction()->isEnabled()) << "cleared log";
}

TEST_F(AppLogList, CopyTakesTheSelectedLinesCopyAllEveryLine) {
  AppendLines(4);
  QClipboard *clipboard = QGuiApplication::clipboard();

  log_.CopyAction()->trigger();
  EXPECT_EQ(TextsOfStamped(clipboard->text()), Lines({"line 4"})) << "the line just logged is selected";

  list_.clearSelection();
  list_.item(3)->setSelected(true);  // picked out of order
  list_.item(1)->setSelected(true);
  log_.CopyAction()->trigger();
  EXPECT_EQ(TextsOfStamped(clipboard->text()), Lines({"line 2", "line 4"}));

  log_.CopyAllAction()->trigger();
  EXPECT_EQ(TextsOfStamped(clipboard->text()), Lines({"line 1", "line 2", "line 3", "line 4"}));
  EXPECT_TRUE(clipboard->text().startsWith(LogTimeText(log_.LineTime(0)) + "  line 1\n"));
}

TEST_F(AppLogList, SaveWritesOneLinePerEntryWithItsTime) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  AppendLines(3);
  log_.Append(LongLine());
  const QString path = dir.filePath("log.txt");

  QString error;
  ASSERT_TRUE(log_.SaveTo(path, error)) << error.toStdString();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString saved = QString::fromUtf8(file.readAll());
  EXPECT_EQ(TextsOfStamped(saved), Lines({"line 1", "line 2", "line 3", LongLine().toStdString()}));
  EXPECT_TRUE(saved.startsWith(LogTimeText(log_.LineTime(0)) + "  line 1\n"));
}

TEST_F(AppLogList, SaveLogWritesTheNamedFileWithoutAWord) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("named.txt");
  AppendLines(2);
  calibrator_test::ModalWatcher watcher([](QWidget *modal) { modal->close(); });
  log_.SaveLog(path);
  EXPECT_EQ(watcher.Count(), 0) << "a save that worked needs no message";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "nothing saved at " << path.toStdString();
  EXPECT_EQ(TextsOfStamped(QString::fromUtf8(file.readAll())), Lines({"line 1", "line 2"}));
}

TEST_F(AppLogList, SaveLogAsksForAFileNameAndCancelWritesNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));  // where the dialog starts
  AppendLines(2);
  calibrator_test::ModalWatcher watcher([](QWidget *modal) {
    auto *dialog = qobject_cast<QFileDialog *>(modal);
    EXPECT_NE(dialog, nullptr) << "a file dialog asks for the name";
    if (dialog) {
      EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    }
    QMetaObject::invokeMethod(modal, "reject");  // as its Cancel button does
  });
  log_.SaveAction()->trigger();
  QDir::setCurrent(before);
  EXPECT_EQ(watcher.Count(), 1) << "the dialog, and no message after the cancel";
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << "nothing written";
}

TEST_F(AppLogList, FailedSaveNamesTheFileAndTheReason) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("no such folder/log.txt");
  AppendLines(1);

  QString error;
  EXPECT_FALSE(log_.SaveTo(path, error));
  const QString named = "\"" + path + "\": ";
  ASSERT_TRUE(error.contains(named)) << error.toStdString();
  EXPECT_FALSE(error.mid(error.indexOf(named) + named.size()).trimmed().isEmpty()) << "a reason follows the name";

  std::string shown;
  calibrator_test::ModalWatcher watcher([&](QWidget *modal) {
    if (auto *box = qobject_cast<QMessageBox *>(modal)) shown = box->text().toStdString();
    modal->close();
  });
  log_.SaveLog(path);
  EXPECT_EQ(watcher.Count(), 1) << "the operator is told";
  EXPECT_EQ(shown, error.toStdString()) << "in a message box";
  EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
}  // namespace calibrator
