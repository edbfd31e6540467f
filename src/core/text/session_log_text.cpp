#include "core/text/session_log_text.h"

namespace regdiag {

void SessionLogText::Append(std::string_view text, std::string_view suffix) {
  // std::string grows its capacity geometrically, so appending in place costs
  // the entry's length on average however long the log already is.
  text_.append(text);
  text_.append(suffix);
}

}  // namespace regdiag
