// The window's controls as a person, a screen reader or an automated UI check
// finds them: by their names, not through the window's members.
#pragma once

#include <QtWidgets>

#include <array>
#include <cstddef>

#include "window/widgets/bit_button.h"
#include "window/widgets/hex_entry_box.h"
#include "window/widgets/log_pane.h"
#include "window/widgets/wrap_button.h"

namespace regdiag::test {

struct WindowControls {
  static constexpr std::size_t kRows = 6;
  static constexpr std::size_t kBits = 48;
  QLabel* lblQRVDevice = nullptr;
  QLabel* Image1 = nullptr;
  QTabBar* TabStrip1 = nullptr;
  QFrame* tabPageArea = nullptr;
  std::array<QFrame*, kRows> fmRegCtrls{};
  std::array<QLabel*, kRows> lblRegName{};
  std::array<QLabel*, kRows> lblRegAddr{};
  std::array<QLabel*, kBits> lblBitName{};
  std::array<BitButton*, kBits> cbRegToggleBit{};
  std::array<HexEntryBox*, kRows> tbRegdata{};
  std::array<QSpinBox*, kRows> updnRegData{};
  std::array<QPushButton*, kRows> cbRead{};
  std::array<QPushButton*, kRows> cbWrite{};
  QPushButton* cbReadRegs = nullptr;
  QPushButton* cbWriteRegs = nullptr;
  QLabel* lblLog = nullptr;
  LogPane* txtLog = nullptr;
  WrapButton* cmdClearLog = nullptr;
  WrapButton* cbReadAllRegs = nullptr;
  WrapButton* cbWriteAllRegs = nullptr;
  WrapButton* cbQuit = nullptr;
  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
};

// The one child of that name and kind; a missing control ends the test run.
template <typename T>
T* NamedChild(const QObject& window, const QString& name) {
  T* found = window.findChild<T*>(name);
  if (found == nullptr) qFatal("the window has no control named %s", qPrintable(name));
  return found;
}

inline WindowControls FindControls(const QObject& w) {
  WindowControls c;
  const auto named = [&w]<typename T>(T*& slot, const QString& name) { slot = NamedChild<T>(w, name); };
  named(c.lblQRVDevice, QStringLiteral("lblQRVDevice"));
  named(c.Image1, QStringLiteral("Image1"));
  named(c.TabStrip1, QStringLiteral("TabStrip1"));
  named(c.tabPageArea, QStringLiteral("tabPageArea"));
  for (std::size_t row = 0; row < WindowControls::kRows; ++row) {
    const QString n = QString::number(row);
    named(c.fmRegCtrls[row], QStringLiteral("fmRegCtrls_") + n);
    named(c.lblRegName[row], QStringLiteral("lblRegName_") + n);
    named(c.lblRegAddr[row], QStringLiteral("lblRegAddr_") + n);
    named(c.tbRegdata[row], QStringLiteral("tbRegdata_") + n);
    named(c.updnRegData[row], QStringLiteral("updnRegData_") + n);
    named(c.cbRead[row], QStringLiteral("cbRead_") + n);
    named(c.cbWrite[row], QStringLiteral("cbWrite_") + n);
  }
  for (std::size_t index = 0; index < WindowControls::kBits; ++index) {
    named(c.lblBitName[index], QStringLiteral("lblBitName_") + QString::number(index));
    named(c.cbRegToggleBit[index], QStringLiteral("cbRegToggleBit_") + QString::number(index));
  }
  named(c.cbReadRegs, QStringLiteral("cbReadRegs"));
  named(c.cbWriteRegs, QStringLiteral("cbWriteRegs"));
  named(c.lblLog, QStringLiteral("lblLog"));
  named(c.txtLog, QStringLiteral("txtLog"));
  named(c.cmdClearLog, QStringLiteral("cmdClearLog"));
  named(c.cbReadAllRegs, QStringLiteral("cbReadAllRegs"));
  named(c.cbWriteAllRegs, QStringLiteral("cbWriteAllRegs"));
  named(c.cbQuit, QStringLiteral("cbQuit"));
  named(c.Timer1, QStringLiteral("Timer1"));
  named(c.Timer2, QStringLiteral("Timer2"));
  return c;
}

}  // namespace regdiag::test
