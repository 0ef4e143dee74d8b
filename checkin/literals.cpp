#include "checkin/literals.h"

#include "platform/codepage.h"

namespace ck::literals {
#define CK_LITERAL(name, utf8)                                 \
  const Text& name() {                                         \
    static const Text text = platform::gbk_literal(utf8);      \
    return text;                                               \
  }
CK_LITERAL(success_words, " 签到成功获得成长值：")
CK_LITERAL(failure_words, " cookie错误或已失效")
CK_LITERAL(first_success_words, " 签到成功获得成长值：第一次：")
CK_LITERAL(second_words, "第二次：")
CK_LITERAL(result_file_name, "\\签到结果.txt")
#undef CK_LITERAL
}  // namespace ck::literals
