// Saving the log and saving and loading register snapshots, from the context
// menus of the log pane and of the register pages; the menus' actions that
// wait while a sequence or a transfer runs.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QSaveFile>
#include <QTabBar>

#include <algorithm>
#include <vector>

#include "core/files/file_read.h"
#include "core/files/file_write.h"
#include "core/map/register_snapshot.h"
#include "core/text/number_text.h"
#include "core/transactions/access_rules.h"
#include "window/diag_window.h"
#include "window/widgets/log_pane.h"

namespace regdiag {

namespace {

const QString kSnapshotFilter = QStringLiteral("Register snapshots (*.csv);;All files (*)");

// A message box lists this many problems of a file at most, then how many
// more there are: a box must fit on the screen however bad the file.
constexpr int kListedProblems = 20;
// And a problem that quotes a long field is cut to this many characters.
constexpr int kProblemChars = 160;

QString ListedProblems(const std::vector<SnapshotNote>& notes) {
  QStringList lines;
  for (const SnapshotNote& note : notes) {
    if (lines.size() == kListedProblems) {
      lines << QObject::tr("and %1 more").arg(notes.size() - kListedProblems);
      break;
    }
    QString line = QString::fromStdString(NoteText(note));
    if (line.size() > kProblemChars) line = line.left(kProblemChars - 1) + QChar(0x2026);
    lines << line;
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

void DiagWindow::AddPageMenu() {
  auto* save = new QAction(tr("Save Register Values..."), this);
  auto* load = new QAction(tr("Load Register Values..."), this);
  auto* reset = new QAction(tr("Load Reset Values"), this);
  connect(save, &QAction::triggered, this, &DiagWindow::SaveRegisterValues_Click);
  connect(load, &QAction::triggered, this, &DiagWindow::LoadRegisterValues_Click);
  connect(reset, &QAction::triggered, this, &DiagWindow::LoadResetValues_Click);
  // Offered only by a map that gives reset values (Form_Load decides).
  reset->setObjectName(QStringLiteral("actLoadResetValues"));
  reset->setVisible(false);
  loadResetValues_ = reset;
  // The rows lie over the page area; a right click on either offers both.
  tabPageArea->setContextMenuPolicy(Qt::ActionsContextMenu);
  for (QFrame* row : fmRegCtrls) row->setContextMenuPolicy(Qt::ActionsContextMenu);
  for (QAction* action : {save, load, reset, txtLog->SaveAction()}) DisableWhileBusy(action);
  AddPageAction(save);
  AddPageAction(load);
  AddPageAction(reset);
  connect(txtLog, &LogPane::saveRequested, this, &DiagWindow::SaveLogAs_Click);
}

void DiagWindow::AddPageAction(QAction* action) {
  tabPageArea->addAction(action);
  for (QFrame* row : fmRegCtrls) row->addAction(action);
}

void DiagWindow::DisableWhileBusy(QAction* action) {
  busyDisabled_.emplace_back(action);
  action->setEnabled(!Busy());
}

void DiagWindow::UpdateBusyActions() {
  for (const QPointer<QAction>& action : busyDisabled_) {
    if (action) action->setEnabled(!Busy());
  }
}

DiagWindow::BusyScope::BusyScope(DiagWindow& window) : window_(&window) {
  if (++window.busy_ == 1) window.UpdateBusyActions();
}

DiagWindow::BusyScope::~BusyScope() {
  // The window may be gone when a closing ended the work.
  if (window_ && --window_->busy_ == 0) window_->UpdateBusyActions();
}

void DiagWindow::SaveLogAs_Click() {
  if (Busy()) return;
  const QString path = QFileDialog::getSaveFileName(this, tr("Save Log As"), QStringLiteral("regdiag.log"),
                                                    QStringLiteral("Log files (*.log *.txt);;All files (*)"));
  if (!path.isEmpty()) SaveLogAs(path);
}

void DiagWindow::SaveRegisterValues_Click() {
  if (Busy()) return;
  const QString path = QFileDialog::getSaveFileName(this, tr("Save Register Values"),
                                                    QStringLiteral("registers.csv"), kSnapshotFilter);
  if (!path.isEmpty()) SaveRegisterValues(path);
}

void DiagWindow::LoadRegisterValues_Click() {
  if (Busy()) return;
  const QString path =
      QFileDialog::getOpenFileName(this, tr("Load Register Values"), QString(), kSnapshotFilter);
  if (!path.isEmpty()) LoadRegisterValues(path);
}

bool DiagWindow::WriteWholeFile(const QString& path, std::string_view bytes, const QString& what) {
  // Written beside the target and renamed over it: a failure leaves the old
  // file as it was.
  std::string reason;
  const bool written = WriteFileWhole(path.toStdString(), bytes, reason);
  if (!written) ShowMessage(tr("%1 not saved to %2:\n%3").arg(what, path, QString::fromStdString(reason)));
  return written;
}

bool DiagWindow::SaveLogAs(const QString& path) {
  txtLog->Flush();
  return WriteWholeFile(path, LogContents(), tr("Log"));
}

// Only the values known in this session: read, written, edited or loaded.
bool DiagWindow::SaveRegisterValues(const QString& path) {
  std::vector<SnapshotEntry> entries = SnapshotOfCache(Map, Cache);
  std::erase_if(entries, [this](const SnapshotEntry& entry) { return !Cache.Known(entry.address); });
  if (entries.empty()) {
    ShowMessage(tr("No register value to save yet."));
    return false;
  }
  if (!WriteWholeFile(path, SnapshotText(entries), tr("Register values"))) return false;
  LogLine("Saved " + Counted(entries.size(), "register value", "register values") + " to " +
          QFileInfo(path).fileName().toStdString());
  return true;
}

bool DiagWindow::LoadRegisterValues(const QString& path) {
  const FileRead file = ReadFileWhole(path.toStdString());
  if (file.outcome != FileRead::Outcome::Loaded) {
    ShowMessage(
        tr("Register values not loaded from %1:\n%2").arg(path, QString::fromStdString(file.Problem())));
    return false;
  }
  const SnapshotRead snapshot = ParseSnapshot(file.bytes, Map);
  if (snapshot.Refused()) {
    ShowMessage(tr("Register values not loaded from %1:\n%2").arg(path, ListedProblems(snapshot.errors)));
    return false;
  }
  for (const SnapshotEntry& entry : snapshot.entries) Cache.Store(entry.address, entry.value);
  if (TabStrip1->count() > 0) TabStrip1_Click();
  std::string line = "Loaded " + Counted(snapshot.entries.size(), "register value", "register values") +
                     " from " + QFileInfo(path).fileName().toStdString() + " (not yet written to the chip)";
  if (!snapshot.warnings.empty()) {
    line += "; " + Counted(snapshot.warnings.size(), "name differs", "names differ") + " from the map";
  }
  LogLine(line);
  return true;
}

}  // namespace regdiag
