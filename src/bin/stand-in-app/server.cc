#include "bin/stand-in-app/server.h"

#include <algorithm>
#include <fstream>
#include <thread>

#include "bin/stand-in-app/control_file.h"
#include "bin/stand-in-app/request.h"
#include "bin/stand-in-app/tab_model.h"
#include "cli_protocol/frames.h"
#include "platform/platform.h"

namespace tov::standin {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A peer gets this long to deliver its request line; a stalled one is dropped.
constexpr auto kRequestWait = 10s;

std::string socket_text(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

// One mark file per start and per clean exit, so tests can count starts and end stragglers.
void write_mark(const Settings& settings, std::string_view suffix) {
  if (!settings.pid_dir) return;
  const auto pid = std::to_string(platform::process_id());
  (void)platform::write_file_atomic(platform::join(*settings.pid_dir, pid + std::string(suffix)),
                                    pid);
}

// Whether this start publishes an address on which nothing listens.
bool refuses(const Settings& settings) {
  if (settings.refuse) return true;
  if (!settings.refuse_marker || platform::metadata(*settings.refuse_marker)) return false;
  (void)platform::write_file_atomic(*settings.refuse_marker, "refused once\n");
  return true;
}

void record(const Settings& settings, std::string_view line) {
  if (!settings.record_path) return;
  std::ofstream out(*settings.record_path, std::ios::binary | std::ios::app);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
}

struct RequestLine {
  std::string bytes;       // without the line feed
  bool too_long = false;   // the limit came before a line feed
};

// The first line of the connection; none when the peer sent nothing or stalled.
std::optional<RequestLine> read_line(platform::Socket& socket) {
  if (!socket.set_receive_timeout(kRequestWait)) return std::nullopt;
  const auto deadline = Clock::now() + kRequestWait;
  RequestLine line;
  char buffer[8192];
  while (Clock::now() < deadline) {
    auto got = socket.receive(buffer);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    std::string_view chunk(buffer, *got);
    const auto lf = chunk.find('\n');
    line.bytes.append(chunk.substr(0, lf));
    if (lf != std::string_view::npos) return line;
    if (line.bytes.size() >= protocol::kMaxFrameBytes) {
      line.too_long = true;
      return line;
    }
  }
  if (line.bytes.empty()) return std::nullopt;
  return line;
}

// Reads one request and answers it as the settings say. False when no request came.
bool serve_connection(platform::Socket socket, const Settings& settings, std::string_view token,
                      TabModel& model) {
  auto line = read_line(socket);
  if (!line) return false;
  record(settings, line->bytes);
  if (settings.answer_delay.count() > 0) std::this_thread::sleep_for(settings.answer_delay);
  if (settings.close_without_answer) return true;
  (void)socket.set_send_timeout(kRequestWait);
  if (settings.raw_answer) {
    (void)socket.send_all(*settings.raw_answer);
  } else if (line->too_long) {
    (void)socket.send_all(response_line(
        protocol::Response::failure("BadRequest", "the request line is longer than 8 MiB")));
  } else {
    (void)socket.send_all(response_line(answer_request(line->bytes, token, model)));
  }
  (void)socket.shutdown_write();
  return true;
}

void serve(platform::Listener& listener, const Settings& settings, std::string_view token) {
  TabModel model;
  auto idle_end = Clock::now() + settings.idle_timeout;
  while (Clock::now() < idle_end) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(idle_end - Clock::now());
    auto socket = listener.accept(std::clamp<std::chrono::milliseconds>(wait, 1ms, 1000ms));
    if (!socket) {
      // A failing accept (out of descriptors, say) must not spin.
      if (socket.error().kind != platform::ErrorKind::TimedOut) std::this_thread::sleep_for(10ms);
      continue;
    }
    if (serve_connection(std::move(*socket), settings, token, model)) {
      idle_end = Clock::now() + settings.idle_timeout;
    }
  }
}

}  // namespace

int run_app(const Settings& settings) {
  write_mark(settings, ".start");
  auto listener = platform::Listener::bind_loopback();
  if (!listener) {
    write_mark(settings, ".exit");
    return 1;
  }
  const bool refusing = refuses(settings);
  // Closed before the file appears, so that every connect to the address is refused. The
  // freed port goes back to the system, where any listener on 127.0.0.1 may take it; the
  // published address names 127.0.0.2, which nobody binds, so it keeps refusing.
  const std::string socket =
      refusing ? "127.0.0.2:" + std::to_string(listener->port()) : socket_text(listener->port());
  if (refusing) listener->close();

  std::this_thread::sleep_for(settings.publish_delay);
  const std::string token = fresh_token();
  std::optional<std::string> published;
  if (settings.publish) {
    auto path = publish_control_file(
        control_file_text(settings.version, socket, token, platform::process_id()));
    if (path) published = *path;
  }

  if (refusing) {
    std::this_thread::sleep_for(settings.idle_timeout);
  } else {
    serve(*listener, settings, token);
  }

  if (published) withdraw_control_file(*published, token);
  write_mark(settings, ".exit");
  return 0;
}

}  // namespace tov::standin
