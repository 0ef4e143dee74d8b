#include "platform/com.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace ck::platform {
namespace {

thread_local int t_com_depth = 0;
std::atomic<int> g_live_objects{0};

std::mutex g_failures_mutex;
std::vector<std::string>& failures() {
  static std::vector<std::string> list;
  return list;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

long CoInitialize(void*) { return t_com_depth++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  // An unpaired call is a caller's bug; keep the count from going negative so
  // the test that checks the balance reports it as a mismatch, not a crash.
  if (t_com_depth > 0) --t_com_depth;
}

int com_init_depth() { return t_com_depth; }

ComObject::ComObject() { ++g_live_objects; }
ComObject::~ComObject() { --g_live_objects; }
int ComObject::live_count() { return g_live_objects.load(); }

ScopedCreationFailure::ScopedCreationFailure(std::string prog_id) : prog_id_(std::move(prog_id)) {
  std::lock_guard lock(g_failures_mutex);
  failures().push_back(prog_id_);
}

ScopedCreationFailure::~ScopedCreationFailure() {
  std::lock_guard lock(g_failures_mutex);
  auto& list = failures();
  auto it = std::find(list.begin(), list.end(), prog_id_);
  if (it != list.end()) list.erase(it);
}

bool creation_allowed(std::string_view prog_id) {
  if (t_com_depth <= 0) return false;
  std::lock_guard lock(g_failures_mutex);
  for (const auto& failing : failures())
    if (equal_ignoring_ascii_case(failing, prog_id)) return false;
  return true;
}

}  // namespace ck::platform
