#include "web/literals.h"

#include <array>

#include "platform/codepage.h"

namespace ck::literals {

const Text& winhttp_error(WinHttpError error) {
  static const std::array<Text, 14> texts = {
      platform::gbk_literal("700 当前系统不支持WinHttp服务!"),
      platform::gbk_literal("701 解析URL地址失败!"),
      platform::gbk_literal("702 创建WinHttp会话失败!"),
      platform::gbk_literal("703 创建WinHttp连接失败!"),
      platform::gbk_literal("704 创建WinHttp请求失败!"),
      platform::gbk_literal("705 设置超时时间失败!"),
      platform::gbk_literal("707 设置代理凭证失败!"),
      platform::gbk_literal("忽略错误/证书错误  失败！"),
      platform::gbk_literal("708 禁止自动设置Cookies失败!"),
      platform::gbk_literal("709 重定向设置失败!"),
      platform::gbk_literal("710 设置协议头失败!"),
      platform::gbk_literal("711 发送请求失败!"),
      platform::gbk_literal("712 服务器未响应!"),
      platform::gbk_literal("713 读取数据失败!"),
  };
  return texts[static_cast<std::size_t>(error)];
}

}  // namespace ck::literals
