// The text layer's own non-ASCII literals, as GBK.
#pragma once
#include "platform/types.h"

namespace ck::literals {
const Text& quote_placeholder();  // "#引号", stands for one double quote
}
