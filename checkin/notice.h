// The one-line summary of a run, pushed to the user's phone through the push
// service: a GET of the endpoint base, the key of 编辑框5, ".send?text=" and
// the message (time stamp, first_notice, second_notice). The answer is not
// looked at and every failure is silent.
#pragma once

#include <string_view>

#include "checkin/host.h"

namespace ck {

void send_result_notice(CheckInHost& host, std::string_view first_notice, std::string_view second_notice);

}  // namespace ck
