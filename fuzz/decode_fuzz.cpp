// Response decoding with any header block and body.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "platform/com.h"
#include "web/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto p = ck::fuzz::pieces(data, size, 3);
  const std::string headers = ck::fuzz::as_text(p[0]);
  const ck::Bytes body(p[1].begin(), p[1].end());
  ck::Text cookie = ck::fuzz::as_text(p[2]);
  const int depth = ck::platform::com_init_depth();
  {
    ck::RegexMatcher matcher;
    ck::Text status, cookies, location;
    ck::Bytes bytes;
    const ck::Text text = ck::decode_winhttp_response({.response_headers = headers,
                                                       .body = body,
                                                       .cookie = &cookie,
                                                       .merge_response_cookies = !cookie.empty(),
                                                       .matcher = &matcher,
                                                       .status_text = &status,
                                                       .response_cookies = &cookies,
                                                       .redirect_location = &location,
                                                       .response_bytes = &bytes});
    if (bytes != body || text.find('\0') != std::string::npos) std::abort();
  }
  if (ck::platform::com_init_depth() != depth || ck::platform::ComObject::live_count() != 0) std::abort();
  return 0;
}
