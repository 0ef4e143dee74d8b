#include "text/literals.h"

#include "platform/codepage.h"

namespace ck::literals {
const Text& quote_placeholder() {
  static const Text text = platform::gbk_literal("#引号");
  return text;
}
}  // namespace ck::literals
