#include "app/literals.h"

#include <array>
#include <string>

#include "platform/codepage.h"

namespace ck::literals {
#define CK_LITERAL(name, utf8)                            \
  const Text& name() {                                    \
    static const Text text = platform::gbk_literal(utf8); \
    return text;                                          \
  }
CK_LITERAL(product_title, "会员每日签到")
CK_LITERAL(settings_file_name, "\\软件配置.ini")
CK_LITERAL(cookie_section, "【CK】")
CK_LITERAL(cookie_key, "CK")
CK_LITERAL(vstk_section, "【vstk】")
CK_LITERAL(vstk_key, "vstk")
CK_LITERAL(server_key_section, "【Sever密钥】")
CK_LITERAL(server_key_key, "Sever密钥")
CK_LITERAL(time_caption, "设置定时时间：")
CK_LITERAL(countdown_caption, "倒计时")
CK_LITERAL(cookie_caption, "ck")
CK_LITERAL(vstk_caption, "vstk")
CK_LITERAL(server_key_caption, "Server密钥,用于Zarvo通知签到结果")
CK_LITERAL(clock_caption, "现行时间：")
CK_LITERAL(success_caption, "累计签到成功天数：")
CK_LITERAL(group_box_1, "分组框1")
CK_LITERAL(label_1, "标签1")
CK_LITERAL(status_bar_1, "状态条1")
#undef CK_LITERAL

namespace {

// "<stem>1" .. "<stem>count" at 1 .. count; index 0 holds "".
template <std::size_t count>
std::array<Text, count + 1> numbered(const char* stem_utf8) {
  std::array<Text, count + 1> all;
  const Text stem = platform::gbk_literal(stem_utf8);
  for (std::size_t i = 1; i <= count; ++i) all[i] = stem + std::to_string(i);
  return all;
}

template <std::size_t count>
const Text& pick(const std::array<Text, count>& names, int n) {
  return names[n >= 1 && n < static_cast<int>(count) ? static_cast<std::size_t>(n) : 0];
}

}  // namespace

const Text& transparent_label(int n) {
  static const auto names = numbered<4>("透明标签");
  return pick(names, n);
}
const Text& edit_box(int n) {
  static const auto names = numbered<5>("编辑框");
  return pick(names, n);
}
const Text& combo_box(int n) {
  static const auto names = numbered<3>("组合框");
  return pick(names, n);
}
const Text& timer(int n) {
  static const auto names = numbered<2>("时钟");
  return pick(names, n);
}

}  // namespace ck::literals
