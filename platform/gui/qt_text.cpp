#include "platform/gui/qt_text.h"

#include "platform/codepage.h"

namespace ck::platform::gui {

QString qstring_of(std::string_view text) {
  const std::u16string wide = ansi_to_wide(text);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

Text text_of(const QString& text) {
  return wide_to_ansi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}

}  // namespace ck::platform::gui
