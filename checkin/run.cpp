#include "checkin/run.h"

#include <string>

#include "checkin/endpoints.h"
#include "checkin/literals.h"
#include "checkin/notice.h"
#include "checkin/session_state.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "text/cut.h"
#include "text/url.h"
#include "web/http_winhttp.h"

namespace ck {
namespace {

constexpr int kSuccessCountPart = 3;
constexpr std::string_view kMembershipPathAndQuery = "/fcgi-bin/comm_cgi?name=hierarchical_task_system&cmd=2&_=";
constexpr std::string_view kMobilePath = "/x/bu/mobile_checkin";

Text stamp() { return platform::format_date_time(platform::current_local_time()); }

// The counter's text as a whole number; "" (the state after start-up) is 0.
long long whole_number(std::string_view text) {
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 999999999) break;
  }
  return value;
}

void count_success(CheckInHost& host) {
  const long long count = whole_number(host.status_part_text(kSuccessCountPart)) + 1;
  host.set_status_part_text(kSuccessCountPart, std::to_string(count));
}

void record_success(CheckInHost& host, std::string_view score) {
  log_append(host, stamp() + literals::success_words() + Text(score) + "\r\n");
}

}  // namespace

void log_append(CheckInHost& host, std::string_view line) { host.append_log(line); }

Text result_path() { return platform::program_directory() + literals::result_file_name(); }

void append_result_line(std::string_view line) { platform::append_to_file(result_path(), bytes_of(line)); }

Text trim_blanks(std::string_view text) { return trim_spaces(text); }

void run_check_in(CheckInHost& host) {
  SessionState& state = session_state();
  Text first_notice;
  Text second_notice;

  // The user's cookie with the fresh session in place of the old one.
  const Text cookie = host.cookie_text();
  state.user_id = text_between(cookie, "vwz_vuserid=", ";");
  const Text old_session = text_between(cookie, "vwz_vusession=", ";");
  Text cookie1 = old_session.empty() ? cookie : replace_text(cookie, old_session, state.session);

  Text membership_url(endpoints::MEMBERSHIP_TASK_ORIGIN);
  membership_url.append(kMembershipPathAndQuery);
  const Text answer1 =
      text_between(http_request_winhttp({.url = membership_url, .method = 0, .cookie = &cookie1}), "JXOutputJson=(", ")");
  if (contains_text(answer1, "OK")) {
    const Text score1 = text_between(answer1, "score\":", ",");
    record_success(host, score1);
    first_notice = literals::first_success_words() + score1;
    host.save_settings();
    append_result_line(stamp() + literals::success_words() + score1 + "\r\n");
    count_success(host);
  } else if (contains_text(answer1, "Account Verify Error")) {
    log_append(host, stamp() + literals::failure_words() + "\r\n");
    first_notice = url_encode(stamp() + literals::failure_words(), false, true);
    append_result_line(stamp() + literals::failure_words() + "\r\n");
  }

  // The mobile page gets a short cookie of its own, nothing else of the user's.
  Text cookie2 = "vwz_vusession=" + state.session + ";vwz_vuserid=" + state.user_id + ";main_login=wz;";
  Text mobile_url(endpoints::MOBILE_CHECKIN_ORIGIN);
  mobile_url.append(kMobilePath);
  const Text answer2 = url_decode(http_request_winhttp({.url = mobile_url, .method = 0, .cookie = &cookie2}), true);
  if (contains_text(answer2, endpoints::SERVICE_DOMAIN)) {
    const Text score2 = trim_blanks(text_between(answer2, "    x", "</"));
    record_success(host, score2);
    second_notice = literals::second_words() + score2;
    append_result_line(stamp() + literals::success_words() + score2 + "\r\n");
    count_success(host);
  } else if (contains_text(answer2, "Unauthorized")) {
    log_append(host, stamp() + literals::failure_words() + "\r\n");
    second_notice = literals::failure_words();
    append_result_line(stamp() + literals::failure_words() + "\r\n");
  }

  send_result_notice(host, first_notice, second_notice);
}

}  // namespace ck
