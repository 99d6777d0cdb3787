#include "support/scripted_app.h"

#include <algorithm>
#include <charconv>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "bin/stand-in-app/knobs.h"
#include "cli_protocol/brand.h"
#include "cli_protocol/control_file.h"
#include "json/json.h"
#include "platform/platform.h"

namespace tov::testing {

namespace {

using namespace std::chrono_literals;

// A request line never takes longer than this to arrive; a peer that stalls is dropped.
constexpr auto kRequestWait = 30s;
// How often blocked calls look at the stop flag.
constexpr auto kSlice = 50ms;
// More than any test sends; guards the test against a runaway peer.
constexpr std::size_t kMaxRequestBytes = 64u * 1024 * 1024;

// Waits `total`, returning early (false) once `stop` is set.
bool sleep_unless_stopped(std::chrono::milliseconds total, const std::atomic<bool>& stop) {
  const auto end = std::chrono::steady_clock::now() + total;
  while (std::chrono::steady_clock::now() < end) {
    if (stop) return false;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
        kSlice, end - std::chrono::steady_clock::now()));
  }
  return !stop;
}

// The bytes up to the first line feed (excluded); none when the peer sent nothing at all.
std::optional<std::string> read_request_line(platform::Socket& socket,
                                             const std::atomic<bool>& stop) {
  if (!socket.set_receive_timeout(kSlice)) return std::nullopt;
  std::string line;
  bool any = false;
  char buffer[8192];
  const auto end = std::chrono::steady_clock::now() + kRequestWait;
  while (!stop && std::chrono::steady_clock::now() < end && line.size() < kMaxRequestBytes) {
    auto got = socket.receive(buffer);
    if (!got) {
      const auto kind = got.error().kind;
      if (kind == platform::ErrorKind::WouldBlock || kind == platform::ErrorKind::TimedOut) continue;
      break;
    }
    if (*got == 0) break;
    any = true;
    std::string_view chunk(buffer, *got);
    if (auto lf = chunk.find('\n'); lf != std::string_view::npos) {
      line.append(chunk.substr(0, lf));
      return line;
    }
    line.append(chunk);
  }
  if (!any) return std::nullopt;
  return line;
}

}  // namespace

struct ScriptedApp::State {
  std::vector<Reply> replies;
  platform::Listener listener;
  std::string socket_text;
  std::atomic<bool> stop{false};
  std::atomic<int> connections{0};
  std::atomic<std::size_t> sent{0};
  mutable std::mutex mutex;
  std::vector<std::string> requests;
  std::vector<std::thread> handlers;  // touched by the accept thread only
  std::thread accept_thread;

  const Reply& reply_for(int index) const {
    static const Reply kNone{};
    if (replies.empty()) return kNone;
    return replies[std::min<std::size_t>(static_cast<std::size_t>(index), replies.size() - 1)];
  }

  void serve(platform::Socket socket, int index) {
    const Reply& reply = reply_for(index);
    auto line = read_request_line(socket, stop);
    if (!line) return;  // a probe, or a peer that went away
    {
      std::lock_guard lock(mutex);
      requests.push_back(*line);
    }
    if (reply.close_without_answer || !sleep_unless_stopped(reply.delay, stop)) return;
    (void)socket.set_send_timeout(kRequestWait);
    bool open = send(socket, reply.bytes);
    for (const auto& [pause, piece] : reply.pieces) {
      open = open && sleep_unless_stopped(pause, stop) && send(socket, piece);
    }
    while (open && !stop && sent < reply.filler_cap) {
      auto n = socket.send(reply.filler);
      open = n && *n > 0;
      if (open) sent += *n;
    }
    if (reply.reset) socket.close_with_reset();
  }

  bool send(platform::Socket& socket, std::string_view bytes) {
    if (bytes.empty()) return true;
    if (!socket.send_all(bytes)) return false;
    sent += bytes.size();
    return true;
  }

  void accept_loop() {
    while (!stop) {
      auto socket = listener.accept(kSlice);
      if (!socket) continue;
      const int index = connections++;
      handlers.emplace_back([this, index, s = std::move(*socket)]() mutable {
        serve(std::move(s), index);
      });
    }
    for (auto& handler : handlers) handler.join();
  }
};

ScriptedApp::ScriptedApp(std::vector<Reply> replies, bool v6) : state_(std::make_unique<State>()) {
  state_->replies = std::move(replies);
  auto listener = platform::Listener::bind_loopback(0, v6);
  if (!listener) {
    ADD_FAILURE() << "scripted app cannot listen: " << listener.error().message;
    return;
  }
  state_->listener = std::move(*listener);
  const std::string host = v6 ? "[::1]" : "127.0.0.1";
  state_->socket_text = host + ":" + std::to_string(state_->listener.port());
  state_->accept_thread = std::thread([state = state_.get()] { state->accept_loop(); });
}

ScriptedApp::~ScriptedApp() { stop(); }

void ScriptedApp::stop() {
  state_->stop = true;
  if (state_->accept_thread.joinable()) state_->accept_thread.join();
  state_->listener.close();
}

std::size_t ScriptedApp::bytes_sent() const { return state_->sent; }

std::string ScriptedApp::socket_text() const { return state_->socket_text; }

std::vector<std::string> ScriptedApp::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

int ScriptedApp::connections() const { return state_->connections; }

// ---- AppData ----------------------------------------------------------------------------

namespace {

std::string pid_dir(const std::string& app_data) {
  return platform::join(app_data, "stand-in-pids");
}

// A stand-in that a test started ends after this long without requests, even when the test
// itself died before it could end it.
constexpr std::string_view kStandInIdleMs = "120000";

// The process ids of the mark files in `dir` whose names end in `suffix`, ascending.
std::vector<std::uint32_t> marked_pids(const std::string& dir, std::string_view suffix) {
  std::vector<std::uint32_t> pids;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const auto name = entry.path().filename().string();
    if (!name.ends_with(suffix)) continue;
    std::uint32_t pid = 0;
    const auto digits = std::string_view(name).substr(0, name.size() - suffix.size());
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error == std::errc{} && end == digits.data() + digits.size()) pids.push_back(pid);
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

// Ends every stand-in that wrote a start mark under `dir` and no exit mark.
void end_stand_ins(const std::string& dir) {
  const auto exited = marked_pids(dir, ".exit");
  for (auto pid : marked_pids(dir, ".start")) {
    if (pid != 0 && !std::binary_search(exited.begin(), exited.end(), pid)) kill_process(pid);
  }
}

}  // namespace

AppData::AppData() = default;

AppData::~AppData() { end_stand_ins(pid_dir(dir())); }

std::string AppData::control_file() const {
  return platform::join(platform::join(dir(), protocol::brand_app_id()),
                        protocol::kControlFileName);
}

void AppData::write_control_file(std::string_view text) const {
  if (auto written = platform::write_file_atomic(control_file(), text); !written) {
    ADD_FAILURE() << "cannot write " << control_file() << ": " << written.error().message;
  }
}

std::optional<protocol::Handshake> AppData::handshake() const {
  auto text = platform::read_file(control_file());
  if (!text) return std::nullopt;
  auto handshake = protocol::read_handshake(*text);
  return handshake ? std::optional(*handshake) : std::nullopt;
}

void AppData::publish(std::string_view socket, std::string_view token, std::uint32_t pid) const {
  json::Value file = {{"version", protocol::kControlProtocolVersion},
                      {"socket", std::string(socket)},
                      {"token", std::string(token)},
                      {"pid", pid}};
  auto text = json::to_compact(file);
  if (!text) {
    ADD_FAILURE() << "cannot write the control file: " << text.error().message;
    return;
  }
  write_control_file(*text);
}

std::vector<std::string> AppData::env(const std::vector<std::string>& extra) const {
  std::vector<std::string> out;
  if (auto path = platform::env_path("PATH")) out.push_back("PATH=" + *path);
  out.push_back("APPDATA=" + dir());
  out.push_back(std::string(standin::kPidDir) + "=" + pid_dir(dir()));
  out.push_back(std::string(standin::kIdleMs) + "=" + std::string(kStandInIdleMs));
  // A later entry of the same name wins, so that a test can set its own idle time.
  for (const auto& entry : extra) {
    const auto eq = entry.find('=');
    const auto name = eq == std::string::npos ? entry + "=" : entry.substr(0, eq + 1);
    std::erase_if(out, [&](const std::string& e) { return e.starts_with(name); });
    out.push_back(entry);
  }
  return out;
}

std::vector<std::uint32_t> AppData::stand_in_starts() const {
  return marked_pids(pid_dir(dir()), ".start");
}

std::vector<std::uint32_t> AppData::stand_in_exits() const {
  return marked_pids(pid_dir(dir()), ".exit");
}

ProcessResult run_quillboard(const AppData& app_data, const std::vector<std::string>& args,
                             const std::vector<std::string>& extra_env, std::string stdin_bytes) {
  RunOptions options;
  options.args = args;
  options.env = app_data.env(extra_env);
  options.stdin_bytes = std::move(stdin_bytes);
  return run_program(program_path(), options);
}

}  // namespace tov::testing
