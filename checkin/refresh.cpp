#include "checkin/refresh.h"

#include <string>

#include "checkin/endpoints.h"
#include "checkin/run.h"
#include "checkin/session_state.h"
#include "text/codepage.h"
#include "text/cut.h"
#include "web/field_list.h"
#include "web/http_com.h"

namespace ck {
namespace {

constexpr std::string_view kRefreshPathAndQuery =
    "/user/auth_refresh?vappid=73111083&vsecret=9c4e27d0b83a5f16e2d94c07a8b3f5e1d60c92a7b4e8f3d5"
    "&type=wz&g_tk=&g_vstk=";
constexpr std::string_view kUserAgent =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/47.0.2526.80 "
    "Safari/537.36 Core/1.47.277.400 WZBrowser/9.4.7658.400";

}  // namespace

void refresh_session(CheckInHost& host) {
  {
    FieldList headers;
    headers.add_field("User-Agent", kUserAgent);
    Text header_text = headers.header_text();

    // The token goes in as typed: the service expects it unescaped.
    Text url(endpoints::SESSION_REFRESH_ORIGIN);
    url.append(kRefreshPathAndQuery).append(host.vstk_text());
    Text cookie = host.cookie_text();

    const Bytes answer = http_request_com({
        .url = url,
        .method = 1,
        .cookie = &cookie,
        .request_headers = &header_text,
    });
    const Text text = text_of(convert_charset(answer));
    // Replaced on every run, by "" too: a stale session is never reused.
    session_state().session = text_between(text, "vusession\":\"", "\"");
  }
  run_check_in(host);
}

}  // namespace ck
