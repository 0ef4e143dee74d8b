// The window's own non-ASCII literals, as GBK.
#pragma once
#include "platform/types.h"

namespace ck::literals {

const Text& product_title();         // "会员每日签到"
const Text& settings_file_name();    // "\软件配置.ini"

// The settings file's sections and keys.
const Text& cookie_section();        // "【CK】"
const Text& cookie_key();            // "CK"
const Text& vstk_section();          // "【vstk】"
const Text& vstk_key();              // "vstk"
const Text& server_key_section();    // "【Sever密钥】"
const Text& server_key_key();        // "Sever密钥"

// Captions.
const Text& time_caption();          // "设置定时时间："
const Text& countdown_caption();     // "倒计时"
const Text& cookie_caption();        // "ck"
const Text& vstk_caption();          // "vstk"
const Text& server_key_caption();    // "Server密钥,用于Zarvo通知签到结果"
const Text& clock_caption();         // "现行时间："
const Text& success_caption();       // "累计签到成功天数："

// Control names.
const Text& group_box_1();           // "分组框1"
const Text& label_1();               // "标签1"
const Text& transparent_label(int n);  // "透明标签1" .. "透明标签4"
const Text& edit_box(int n);         // "编辑框1" .. "编辑框5"
const Text& combo_box(int n);        // "组合框1" .. "组合框3"
const Text& status_bar_1();          // "状态条1"
const Text& timer(int n);            // "时钟1", "时钟2"

}  // namespace ck::literals
