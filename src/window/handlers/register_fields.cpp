// What the map's access rules and fields show in a row, and the reset values
// from the page's context menu.
#include <QPushButton>
#include <QTabBar>

#include "core/map/field_text.h"
#include "core/text/hex_value.h"
#include "core/transactions/access_rules.h"
#include "core/text/number_text.h"
#include "window/diag_window.h"
#include "window/widgets/hex_entry_box.h"

namespace regdiag {

void DiagWindow::ShowRowRules(int row) {
  const int address = ShownAddress(row);
  const RegisterAccess access = Map.RulesOf(address).access;
  // A register that cannot be read, or written, offers no button for it.
  cbRead[row]->setEnabled(access != RegisterAccess::WO);
  cbWrite[row]->setEnabled(access != RegisterAccess::RO);
  UpdateFieldTip(row);
}

void DiagWindow::UpdateFieldTip(int row) {
  HexEntryBox& box = *tbRegdata[row];
  const int address = ShownAddress(row);
  const bool hasFields = address >= 0 && address < kRegisterCount && !Map.RulesOf(address).fields.empty();
  if (!hasFields) {
    if (!box.toolTip().isEmpty()) box.setToolTip(QString());
    if (!box.accessibleDescription().isEmpty()) box.setAccessibleDescription(QString());
    return;
  }
  const auto value = static_cast<std::uint8_t>(ParseHexText(box.text().toStdString()) & 0xFF);
  const QString text = QString::fromStdString(FieldsDescription(Map.RulesOf(address), value));
  // Labels show literally: a text the tooltip would take for markup is
  // given to it escaped.
  box.setToolTip(Qt::mightBeRichText(text) ? QStringLiteral("<p style='white-space:pre'>") +
                                                 text.toHtmlEscaped() + QStringLiteral("</p>")
                                           : text);
  box.setAccessibleDescription(text);
}

void DiagWindow::LoadResetValues_Click() {
  const std::vector<ResetValue> resets = ResetValues(Map);
  for (const ResetValue& reset : resets) Cache.Store(reset.address, reset.value);  // known from here on
  if (TabStrip1->count() > 0) TabStrip1_Click();
  LogLine("Loaded " + Counted(resets.size(), "reset value", "reset values") + " (not yet written to the chip)");
}

}  // namespace regdiag
