// The window as the workflow sees it, without Qt: the boxes are plain texts
// and the log box and status bar keep what the workflow writes into them.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "checkin/host.h"
#include "platform/types.h"

namespace ck::testing {

class TestHost : public CheckInHost {
 public:
  struct SavedSettings {
    Text cookie;
    Text vstk;
    Text server_key;
  };

  Text cookie;
  Text vstk;
  Text server_key;
  Text log;
  std::array<Text, 4> status_parts{};
  std::vector<SavedSettings> saves;  // one entry per save_settings call

  Text cookie_text() const override { return cookie; }
  Text vstk_text() const override { return vstk; }
  Text server_key_text() const override { return server_key; }
  void append_log(std::string_view line) override { log.append(line); }
  Text status_part_text(int part) const override {
    return part >= 0 && part < 4 ? status_parts[static_cast<std::size_t>(part)] : Text();
  }
  void set_status_part_text(int part, std::string_view text) override {
    if (part >= 0 && part < 4) status_parts[static_cast<std::size_t>(part)] = Text(text);
  }
  void save_settings() override { saves.push_back({cookie, vstk, server_key}); }
};

}  // namespace ck::testing
