// The last step of the WinHttp exchange: status, cookies, redirect target and
// the answer text, decoded by the charset its markup declares.
//
// The charset is looked for only in a meta tag within the first 1024 bytes of
// the body; the Content-Type header is not consulted. "gbk" and "gb2312"
// (exactly so spelt) leave the bytes as they are; any other name decodes the
// whole body through the byte-stream object. When that object cannot be
// created or does not know the charset, the text stays undecoded.
// Pending window messages are processed once per header line, and twice
// around the end of the charset step.
#pragma once

#include <string_view>

#include "platform/types.h"
#include "text/regex_matcher.h"

namespace ck {

struct DecodeWinhttpResponse {
  std::string_view response_headers;  // raw block as GBK, status line first
  const Bytes& body;
  Text* cookie = nullptr;  // in/out; merged into when asked and not empty
  bool merge_response_cookies = true;
  RegexMatcher* matcher = nullptr;  // the exchange's own object; nullptr: one of our own
  // Outputs; nullptr when the caller does not want them.
  Text* status_text = nullptr;        // always written: "" when the status line has no CR LF
  Text* response_cookies = nullptr;   // always written
  Text* redirect_location = nullptr;  // written only when a Location line is present
  Bytes* response_bytes = nullptr;    // always written: the whole body
};

Text decode_winhttp_response(const DecodeWinhttpResponse& args);

}  // namespace ck
