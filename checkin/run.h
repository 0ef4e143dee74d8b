// The day's two check-ins, and how their outcomes are recorded: a line in
// the log box and in the result file per recognised answer, the success
// counter in status-bar part 3, the settings saved after a membership
// success, and the push notice at the end.
#pragma once

#include <string_view>

#include "checkin/host.h"
#include "platform/types.h"

namespace ck {

void run_check_in(CheckInHost& host);

// Appends `line` at the end of the log box.
void log_append(CheckInHost& host, std::string_view line);

// The result file: the program's directory and "\签到结果.txt".
Text result_path();
// Appends `line` (GBK, ending in CR LF) at the end of the result file,
// creating it when missing. Only the new bytes are written, so whatever the
// file held before (a zero byte included) stays as it was, and a write cut
// short can lose at most the line being written. A failed write is not
// reported.
void append_result_line(std::string_view line);

// `text` without its leading and trailing spaces (0x20 and the full-width
// A1 A1); inner spaces stay.
Text trim_blanks(std::string_view text);

}  // namespace ck
