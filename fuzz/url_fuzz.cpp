// URL coding: decoding never fails, and decoding an encoding gives the text back.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "text/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = ck::fuzz::as_text(std::string(reinterpret_cast<const char*>(data), size));
  const ck::Text decoded = ck::url_decode(text);
  if (decoded.find('\0') != std::string::npos) std::abort();
  (void)ck::url_decode(text, true);
  for (bool keep : {false, true}) {
    if (ck::url_decode(ck::url_encode(text, keep)) != text) std::abort();
    (void)ck::url_encode(text, keep, true);
  }
  return 0;
}
