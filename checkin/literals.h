// The check-in workflow's own non-ASCII literals, as GBK.
#pragma once
#include "platform/types.h"

namespace ck::literals {
const Text& success_words();        // " 签到成功获得成长值："
const Text& failure_words();        // " cookie错误或已失效"
const Text& first_success_words();  // " 签到成功获得成长值：第一次："
const Text& second_words();         // "第二次："
const Text& result_file_name();     // "\签到结果.txt"
}  // namespace ck::literals
