// Widget texts: GBK Text on our side, QString on Qt's.
#pragma once

#include <QString>
#include <string_view>

#include "platform/types.h"

namespace ck::platform::gui {

QString qstring_of(std::string_view text);
// A character GBK cannot hold (typed or pasted by the user) becomes "?".
Text text_of(const QString& text);

}  // namespace ck::platform::gui
