// Saving the log and saving and loading register snapshots, from the context
// menus of the log pane and of the register pages.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QTabBar>

#include <algorithm>
#include <vector>

#include "core/files/file_read.h"
#include "core/files/file_write.h"
#include "core/map/register_snapshot.h"
#include "window/diag_window.h"
#include "window/widgets/log_pane.h"

namespace regdiag {

namespace {

const QString kSnapshotFilter = QStringLiteral("Register snapshots (*.csv);;All files (*)");

}  // namespace

void DiagWindow::AddPageMenu() {
  auto* save = new QAction(tr("Save Register Values..."), this);
  auto* load = new QAction(tr("Load Register Values..."), this);
  connect(save, &QAction::triggered, this, &DiagWindow::SaveRegisterValues_Click);
  connect(load, &QAction::triggered, this, &DiagWindow::LoadRegisterValues_Click);
  // The rows lie over the page area; a right click on either offers both.
  std::vector<QWidget*> page{tabPageArea};
  page.insert(page.end(), fmRegCtrls.begin(), fmRegCtrls.end());
  for (QWidget* area : page) {
    area->setContextMenuPolicy(Qt::ActionsContextMenu);
    area->addActions({save, load});
  }
  connect(txtLog, &LogPane::saveRequested, this, &DiagWindow::SaveLogAs_Click);
}

void DiagWindow::SaveLogAs_Click() {
  const QString path = QFileDialog::getSaveFileName(this, tr("Save Log As"), QStringLiteral("regdiag.log"),
                                                    QStringLiteral("Log files (*.log *.txt);;All files (*)"));
  if (!path.isEmpty()) SaveLogAs(path);
}

void DiagWindow::SaveRegisterValues_Click() {
  const QString path = QFileDialog::getSaveFileName(this, tr("Save Register Values"),
                                                    QStringLiteral("registers.csv"), kSnapshotFilter);
  if (!path.isEmpty()) SaveRegisterValues(path);
}

void DiagWindow::LoadRegisterValues_Click() {
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
  std::erase_if(entries, [this](const SnapshotEntry& entry) { return !engine_.Known()[entry.address]; });
  if (entries.empty()) {
    ShowMessage(tr("No register value to save yet."));
    return false;
  }
  if (!WriteWholeFile(path, SnapshotText(entries), tr("Register values"))) return false;
  LogLine("Saved " + std::to_string(entries.size()) + " register values to " +
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
    QStringList lines;
    for (const SnapshotNote& error : snapshot.errors) lines << QString::fromStdString(NoteText(error));
    ShowMessage(tr("Register values not loaded from %1:\n%2").arg(path, lines.join(QLatin1Char('\n'))));
    return false;
  }
  for (const SnapshotEntry& entry : snapshot.entries) {
    Cache[entry.address] = entry.value;
    engine_.Known()[entry.address] = true;
  }
  if (TabStrip1->count() > 0) TabStrip1_Click();
  std::string line = "Loaded " + std::to_string(snapshot.entries.size()) + " register values from " +
                     QFileInfo(path).fileName().toStdString() + " (not yet written to the chip)";
  if (!snapshot.warnings.empty()) {
    line += "; " + std::to_string(snapshot.warnings.size()) + " names differ from the map";
  }
  LogLine(line);
  return true;
}

}  // namespace regdiag
