// Display text of the byte strings the window shows (map names, log
// entries): UTF-8 where the bytes are valid UTF-8, otherwise one byte per
// character (Latin-1), so every byte shows. The window shows these texts
// literally: its labels take plain text only, so markup such as <b> or <img>
// in the map shows as its characters and loads nothing; a tab name keeps &
// as its shortcut marker.
#pragma once

#include <QString>

#include <string_view>

namespace regdiag {

[[nodiscard]] QString DisplayText(std::string_view bytes);

// A title for QWidget::setWindowTitle that the window manager shows as the
// text itself: the toolkit reads "[*]" in a title as the place of the
// "modified" mark and drops it, but shows a doubled "[*][*]" as "[*]".
[[nodiscard]] QString LiteralWindowTitle(QString title);

}  // namespace regdiag
