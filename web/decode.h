// The last step of the WinHttp exchange: status, cookies, redirect target and
// the answer text, decoded by the charset its markup declares.
#pragma once

#include "platform/types.h"
#include "text/regex_matcher.h"

namespace ck {

struct DecodeWinhttpResponse {
  std::string_view response_headers;  // raw block as GBK, status line first
  const Bytes& body;
  Text* cookie = nullptr;  // in/out; merged into when asked and not empty
  bool merge_response_cookies = true;
  RegexMatcher* matcher = nullptr;  // the exchange's own object
  // Outputs; nullptr when the caller does not want them.
  Text* status_text = nullptr;
  Text* response_cookies = nullptr;
  Text* redirect_location = nullptr;
  Bytes* response_bytes = nullptr;
};

Text decode_winhttp_response(const DecodeWinhttpResponse& args);

}  // namespace ck
