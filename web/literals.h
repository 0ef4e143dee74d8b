// The web layer's own non-ASCII literals (the exchange's error texts), as GBK.
#pragma once
#include "platform/types.h"

namespace ck::literals {
enum class WinHttpError {
  kNotSupported,        // 700
  kCrackUrl,            // 701
  kOpenSession,         // 702
  kConnect,             // 703
  kOpenRequest,         // 704
  kSetTimeouts,         // 705
  kCredentials,         // 707
  kSecurityFlags,       // certificate flags, unnumbered
  kDisableCookies,      // 708
  kDisableRedirects,    // 709
  kAddHeaders,          // 710
  kSendRequest,         // 711
  kReceiveResponse,     // 712
  kReadData,            // 713
};
const Text& winhttp_error(WinHttpError error);
}  // namespace ck::literals
