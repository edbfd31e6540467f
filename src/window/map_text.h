// Display text of the map's byte strings: UTF-8 where the bytes are valid
// UTF-8, otherwise one byte per character (Latin-1), so every byte shows.
#pragma once

#include <QString>

#include <string_view>

namespace regdiag {

[[nodiscard]] QString MapText(std::string_view bytes);

}  // namespace regdiag
