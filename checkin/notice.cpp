#include "checkin/notice.h"

#include "checkin/endpoints.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "web/http_winhttp.h"

namespace ck {

void send_result_notice(CheckInHost& host, std::string_view first_notice, std::string_view second_notice) {
  const Text stamp = platform::format_date_time(platform::current_local_time());
  // Only the failure text in first_notice comes escaped; the exchange
  // escapes the blanks and the Chinese texts of the rest on the way out.
  Text url(endpoints::PUSH_ENDPOINT_BASE);
  url.append(host.server_key_text()).append(".send?text=").append(stamp).append(first_notice).append(second_notice);
  http_request_winhttp({.url = url});
}

}  // namespace ck
