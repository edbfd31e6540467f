// The user's actions and the bench's: what a soak cycle is made of.
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include "link/device_context.h"
#include "soak_run.h"
#include "window/hex_entry_box.h"
#include "window/wrap_button.h"

namespace regdiag::soak {

namespace {

// Every plugged chip gets contents of its own, so a value read from the
// wrong register or the wrong bridge shows.
std::uint8_t Pattern(int bridge, int address) {
  return static_cast<std::uint8_t>(address * 0x1D + bridge * 0x35 + 0x11);
}

}  // namespace

int SoakRun::RandomVisibleRow() {
  std::vector<int> rows;
  for (int row = 0; row < kRowsPerPage; ++row) {
    if (W().fmRegCtrls[row]->isVisible()) rows.push_back(row);
  }
  return rows.empty() ? -1 : rows[static_cast<std::size_t>(Uniform(0, static_cast<int>(rows.size()) - 1))];
}

void SoakRun::SingleTransfer(bool read) {
  Begin(read ? "single read" : "single write");
  const int row = RandomVisibleRow();
  if (row < 0) return;
  const int address = W().ShownAddress(row);
  const bool connected = DeviceConnected;
  const auto messages = harness_->Messages().Texts().size();
  // click() runs the handler at once, with no events served before it.
  (read ? W().cbRead[row] : W().cbWrite[row])->click();
  const std::vector<TransactionEntry> entries = CheckLog();
  const auto access = read ? logtext::Access::Read : logtext::Access::Write;
  if (connected) {
    if (entries.size() != 1 || entries[0].access != access || entries[0].address != address) {
      Problem("a single transfer of row " + std::to_string(row) + " left " + std::to_string(entries.size()) +
              " transaction lines, not one for its register");
    }
  } else if (!entries.empty() || harness_->Messages().Texts().size() != messages + 1) {
    Problem("a single transfer without a bridge logged a transaction or showed no message");
  }
}

void SoakRun::TypeIntoRow() {
  Begin("typing");
  const int row = RandomVisibleRow();
  if (row < 0) return;
  HexEntryBox* box = W().tbRegdata[row];
  static const char kChars[] = "0123456789abcdefABCDEFgxz -.";
  const int keys = Uniform(1, 6);
  for (int i = 0; i < keys; ++i) {
    switch (Uniform(0, 11)) {
      case 0:
        QTest::keyClick(box, Qt::Key_Escape);
        break;
      case 1:
        QTest::keyClick(box, Qt::Key_Backspace);
        break;
      case 2:
        QTest::keyClick(box, Qt::Key_Left);
        break;
      case 3:
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
        break;
      case 4:
        QTest::keyClick(box, Qt::Key_Home);
        break;
      case 5:
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        break;
      case 6:
        QTest::keyClick(box, Qt::Key_Delete);
        break;
      default:
        QTest::keyClick(box, kChars[Uniform(0, static_cast<int>(sizeof kChars) - 2)]);
        break;
    }
  }
}

void SoakRun::PasteIntoRow() {
  Begin("paste");
  const int row = RandomVisibleRow();
  if (row < 0) return;
  static const char kChars[] = "0123456789abcdefABCDEF xyz\x1b\b\t";
  QString text;
  const int length = Uniform(0, 8);
  for (int i = 0; i < length; ++i)
    text += QChar::fromLatin1(kChars[Uniform(0, static_cast<int>(sizeof kChars) - 2)]);
  emit W().tbRegdata[row]->pasted(text);
}

void SoakRun::StepSpinner() {
  Begin("spinner");
  const int row = RandomVisibleRow();
  if (row >= 0) W().updnRegData[row]->stepBy(Uniform(-3, 3));
}

void SoakRun::ClickBit() {
  Begin("bit click");
  const int row = RandomVisibleRow();
  if (row >= 0) W().cbRegToggleBit[row * 8 + Uniform(0, 7)]->click();
}

void SoakRun::SwitchTab() {
  Begin("tab switch");
  const int count = W().TabStrip1->count();
  if (count > 0) harness_->SelectPage(Uniform(0, count - 1));
}

int SoakRun::PlugBridge(bool mayHaveOtherIds) {
  Begin("plug");
  if (Lib().PluggedBridges().size() >= 3) return 0;
  // Now and then a device with other IDs, which the session must ignore.
  const bool other = mayHaveOtherIds && Chance(0.1);
  const int id = other ? Lib().Plug(0x4B7C, 0x2006) : Lib().Plug();
  for (int address = 0; address < kRegisterCount; ++address) {
    Lib().Bridge(id).SetRegister(static_cast<std::uint8_t>(address), Pattern(id, address));
  }
  ++plugs_;
  return other ? -id : id;
}

void SoakRun::UnplugHeld() {
  Begin("unplug held");
  if (const auto held = Lib().HeldBridge()) {
    Lib().Unplug(*held);
    ++unplugs_;
  }
}

void SoakRun::UnplugAny() {
  Begin("unplug any");
  const std::vector<int> plugged = Lib().PluggedBridges();
  if (plugged.empty()) return;
  Lib().Unplug(plugged[static_cast<std::size_t>(Uniform(0, static_cast<int>(plugged.size()) - 1))]);
  ++unplugs_;
}

void SoakRun::ClearLog() {
  Begin("clear log");
  W().cmdClearLog->click();
  if (!W().LogContents().empty()) Problem("Clear Log left text in the log");
  audit_.Restart();
}

}  // namespace regdiag::soak
