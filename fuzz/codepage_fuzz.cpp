// Code pages and the byte-stream conversion with any bytes and charset pair.
#include <array>
#include <cstdlib>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "platform/com.h"
#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static constexpr std::array<std::string_view, 10> charsets = {
      "", "UTF-8", "GBK", "gb2312", "GB18030", "Big5", "UTF-16", "ISO-8859-1", "windows-1252", "no-such-charset"};
  if (size == 0) return 0;
  const std::uint8_t pick = data[0];
  const ck::Bytes bytes(data + 1, data + size);
  const ck::Text text = ck::text_of(bytes);

  (void)ck::utf16_to_gbk(bytes);
  (void)ck::utf16_to_multibyte(bytes, (pick & 1) ? 65001 : 936);
  const ck::Bytes wide = ck::gbk_to_utf16(text, pick & 2);
  if (!text.empty() && wide.size() % 2 != 0) std::abort();
  (void)ck::multibyte_to_utf16(text, (pick & 4) ? 65001 : 936);
  (void)ck::utf8_to_gbk(ck::gbk_to_utf8(text));

  const int depth = ck::platform::com_init_depth();
  (void)ck::convert_charset(bytes, charsets[pick % charsets.size()], charsets[(pick / 16) % charsets.size()],
                            (pick & 8) ? std::optional<long>(pick % 5) : std::nullopt);
  if (ck::platform::com_init_depth() != depth || ck::platform::ComObject::live_count() != 0) std::abort();
  return 0;
}
