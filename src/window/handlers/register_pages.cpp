// The page operation: the six rows show the selected tab's registers.
#include <QFrame>
#include <QLabel>
#include <QTabBar>

#include "core/text/hex_value.h"
#include "window/diag_window.h"
#include "window/scoped_flag.h"
#include "window/widgets/hex_entry_box.h"
#include "window/display_text.h"

namespace regdiag {

int DiagWindow::PageIndex() const { return TabStrip1->currentIndex(); }

void DiagWindow::TabStrip1_Click() {
  for (int row = 0; row < kRowsPerPage; ++row) {
    // Without a loaded map every slot reads 0; without any tab there is no
    // page, and every row is empty.
    const int address = ShownAddress(row);
    if (address < 0 || address > 255) {
      fmRegCtrls[row]->setVisible(false);
      continue;
    }
    fmRegCtrls[row]->setVisible(true);
    lblRegName[row]->setText(DisplayText(Map.RegisterNames[address]));
    lblRegAddr[row]->setText(QStringLiteral("@ reg addr 0x") + QString::fromStdString(HexByteText(address)));
    for (int bit = 0; bit < 8; ++bit) {
      lblBitName[row * 8 + bit]->setText(DisplayText(Map.BitNames[address][bit]));
    }
    NameBitButtons(row);
    const auto r = static_cast<std::int16_t>(row);
    const ScopedFlag quiet(IgnoreSpinnerChange);
    tbRegdata[row]->setText(QString::fromStdString(HexByteText(Cache[address])));
    UpdateBitsFromText(r);
    UpdateSpinnerFromText(r);
    ShowRowRules(row);
  }
}

void DiagWindow::NameBitButtons(int row) {
  // "SYS_CTRL bit 1 ADC_EN": what the row and the column show, empty parts
  // left out.
  for (int bit = 0; bit < 8; ++bit) {
    QStringList parts{lblRegName[row]->text(), QStringLiteral("bit %1").arg(bit),
                      lblBitName[row * 8 + bit]->text()};
    parts.removeAll(QString());
    cbRegToggleBit[row * 8 + bit]->setAccessibleName(parts.join(QLatin1Char(' ')));
  }
}

}  // namespace regdiag
