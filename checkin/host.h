// What the check-in workflow needs of the window. The window implements it;
// the workflow reads every box at the moment it needs the value, so an edit
// takes effect at the next run without being saved.
#pragma once

#include <string_view>

#include "platform/types.h"

namespace ck {

class CheckInHost {
 public:
  virtual ~CheckInHost() = default;
  virtual Text cookie_text() const = 0;      // 编辑框2
  virtual Text vstk_text() const = 0;        // 编辑框3
  virtual Text server_key_text() const = 0;  // 编辑框5
  // Appends at the end of the log box 编辑框1 and scrolls it into view.
  virtual void append_log(std::string_view line) = 0;
  // Status-bar parts of 状态条1, numbered from 0.
  virtual Text status_part_text(int part) const = 0;
  virtual void set_status_part_text(int part, std::string_view text) = 0;
  // Writes the three settings boxes to the settings file.
  virtual void save_settings() = 0;
};

}  // namespace ck
