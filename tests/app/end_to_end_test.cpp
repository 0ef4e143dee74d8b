// The program binary of this build, started in a folder of its own with a
// settings file beside it, under a clock (libfaketime) that reaches the
// lists' start-up time 0:0:0 a few seconds later; the fake service on
// loopback stands in for the video service and the push service.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/fake_service.h"
#include "tests/support/support.h"

extern char** environ;

namespace ck {
namespace {

namespace fs = std::filesystem;
using testing::Endpoint;
using testing::gbk;
using testing::hex;

#ifndef CK_PROGRAM_BINARY
#define CK_PROGRAM_BINARY ""
#endif

// Four seconds before midnight: enough for the window to come up first.
constexpr char kFakeStart[] = "@2026-12-11 23:59:56";
constexpr char kRunDate[] = "2026/12/12 0:00:0";  // the run's stamps, to the last digit

std::string on_the_wire(std::string_view utf8) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : utf8) {
    if (c == ' ' || c >= 0x80) {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// libfaketime, preloaded straight into the program (the faketime command
// would stand between the test and the program's signals).
std::string faketime_library() {
  for (const char* path : {"/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1",
                           "/usr/lib/aarch64-linux-gnu/faketime/libfaketimeMT.so.1",
                           "/usr/lib/faketime/libfaketimeMT.so.1", "/usr/local/lib/faketime/libfaketimeMT.so.1"})
    if (fs::exists(path)) return path;
  return {};
}

class Program {
 public:
  // Starts `binary` in its own folder under the fake clock, its output into
  // `log`. It gets SIGKILL should the test die first.
  Program(const fs::path& binary, const fs::path& log) {
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e) {
      const std::string_view v(*e);
      if (v.rfind("QT_QPA_PLATFORM=", 0) == 0 || v.rfind("TZ=", 0) == 0 || v.rfind("ASAN_OPTIONS=", 0) == 0 ||
          v.rfind("FAKETIME", 0) == 0 || v.rfind("LD_PRELOAD=", 0) == 0)
        continue;
      env_strings.emplace_back(v);
    }
    const char* asan = std::getenv("ASAN_OPTIONS");
    env_strings.push_back("LD_PRELOAD=" + faketime_library());
    env_strings.push_back(std::string("FAKETIME=") + kFakeStart);
    // Qt's timers and libcurl's timeouts keep the real monotonic clock.
    env_strings.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
    env_strings.push_back("QT_QPA_PLATFORM=offscreen");
    env_strings.push_back("TZ=UTC");
    // libfaketime comes ahead of a sanitizer runtime.
    env_strings.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                          "verify_asan_link_order=0");
    std::vector<char*> env;
    for (auto& s : env_strings) env.push_back(s.data());
    env.push_back(nullptr);
    std::string program = binary.string();
    std::string folder = binary.parent_path().string();
    std::string log_path = log.string();
    char* argv[] = {program.data(), nullptr};

    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      const int fd = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
      }
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      ::execve(program.c_str(), argv, env.data());
      ::_exit(127);
    }
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return pid_ > 0; }
  bool exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    status_ = status;
    pid_ = -1;
    return true;
  }
  // SIGTERM, then the wait status (-1 when it did not end in time).
  int terminate(std::chrono::seconds patience) {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!exited()) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

template <class Done>
bool wait_for(Done done, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// "<stamp><words>\r\n" lines whose stamps read kRunDate and one more digit.
void expect_run_lines(const std::string& bytes, const std::vector<Text>& words) {
  std::size_t at = 0;
  for (const Text& w : words) {
    const std::string date = kRunDate;
    ASSERT_GE(bytes.size(), at + date.size() + 1 + w.size() + 2) << hex(bytes);
    EXPECT_EQ(bytes.substr(at, date.size()), date) << hex(bytes);
    const char last = bytes[at + date.size()];
    EXPECT_TRUE(last >= '0' && last <= '9') << hex(bytes);
    at += date.size() + 1;
    EXPECT_EQ(bytes.substr(at, w.size() + 2), w + "\r\n") << hex(bytes);
    at += w.size() + 2;
  }
  EXPECT_EQ(at, bytes.size()) << hex(bytes);
}

TEST(EndToEnd, ProgramRunsAtMidnightAndQuitsOnSigterm) {
  if (std::string reason = testing::fake_service_unavailable_reason(); !reason.empty()) GTEST_SKIP() << reason;
  if (faketime_library().empty()) GTEST_SKIP() << "libfaketime is not installed (Debian package faketime)";
  ASSERT_TRUE(fs::exists(CK_PROGRAM_BINARY)) << CK_PROGRAM_BINARY;

  testing::FakeService service;
  ASSERT_TRUE(service.running()) << service.failure_reason();
  service.set_answers({.score = "10", .growth_points = "5"});

  testing::TempDir tmp;
  const fs::path folder = tmp.path() / "会员签到";
  fs::create_directory(folder);
  const fs::path binary = folder / "vipcheckin";
  fs::copy_file(CK_PROGRAM_BINARY, binary);
  // Written by hand the way a user might, with blanks around "="; a save
  // rewrites each line as key=value and makes the file owner-only.
  const std::string cookie = "a=1;vwz_vusession=OLD;vwz_vuserid=42;";
  const fs::path settings = folder / "软件配置.ini";
  testing::write_whole_file(settings, gbk("[【CK】]\r\nCK = " + cookie + "\r\n[【vstk】]\r\nvstk = f3a9c1\r\n"
                                          "[【Sever密钥】]\r\nSever密钥 = SCT12345\r\n"));
  fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);

  const fs::path log = tmp.path() / "program.log";
  Program program(binary, log);
  ASSERT_TRUE(program.started());
  const bool pushed = wait_for([&] { return service.request_count(Endpoint::push) > 0 || program.exited(); },
                               std::chrono::seconds(60));
  // One more second: a second run would have started by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const int status = program.terminate(std::chrono::seconds(20));
  ASSERT_TRUE(pushed) << "no notice within a minute; the program said:\n" << testing::read_whole_file(log);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "wait status " << status << "; the program said:\n"
      << testing::read_whole_file(log);

  const auto requests = service.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].endpoint, Endpoint::session_refresh);
  EXPECT_EQ(requests[0].cookie, cookie);
  EXPECT_EQ(requests[0].query.substr(requests[0].query.size() - 14), "&g_vstk=f3a9c1");
  EXPECT_EQ(requests[1].endpoint, Endpoint::membership_task);
  EXPECT_EQ(requests[1].cookie, "a=1;vwz_vusession=NEW;vwz_vuserid=42;");
  EXPECT_EQ(requests[2].endpoint, Endpoint::mobile_checkin);
  EXPECT_EQ(requests[2].cookie, "vwz_vusession=NEW;vwz_vuserid=42;main_login=wz;");
  EXPECT_EQ(requests[3].endpoint, Endpoint::push);
  EXPECT_EQ(requests[3].path, "/push/SCT12345.send");
  const std::string& query = requests[3].query;
  const std::string date = on_the_wire(kRunDate);
  ASSERT_GT(query.size(), 5 + date.size());
  EXPECT_EQ(query.substr(0, 5 + date.size()), "text=" + date) << query;
  EXPECT_EQ(query.substr(5 + date.size() + 1), on_the_wire(" 签到成功获得成长值：第一次：10第二次：5")) << query;

  expect_run_lines(testing::read_whole_file(folder / "签到结果.txt"),
                   {gbk(" 签到成功获得成长值：10"), gbk(" 签到成功获得成长值：5")});

  EXPECT_EQ(testing::read_whole_file(settings), gbk("[【CK】]\r\nCK=" + cookie + "\r\n[【vstk】]\r\nvstk=f3a9c1\r\n"
                                                   "[【Sever密钥】]\r\nSever密钥=SCT12345\r\n"))
      << hex(testing::read_whole_file(settings));
  EXPECT_EQ(fs::status(settings).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace ck
