#include "cli_protocol/frames.h"

#include <algorithm>
#include <string>

#include "text/utf8.h"

namespace tov::protocol {

namespace {

// Most answers fit the first receive; a longer one is received in larger pieces.
constexpr std::size_t kFirstReceiveBytes = 8 * 1024;
constexpr std::size_t kReceiveBytes = 64 * 1024;

// Bytes up to and including the first line feed, or up to the end of the stream; reaching
// kMaxFrameBytes counts as the end of the stream. Whatever follows the line feed is dropped.
platform::IoResult<std::string> read_line(platform::Socket& socket) {
  std::string line;
  std::size_t total = 0;  // bytes of `line` received so far
  while (total < kMaxFrameBytes) {
    // A line that outgrows the first receive may grow to the limit: room for all of it is
    // set aside at once, so that it is never copied while it grows (unused room costs no memory).
    if (total > 0 && line.capacity() < kMaxFrameBytes) line.reserve(kMaxFrameBytes);
    const std::size_t want = std::min(total == 0 ? kFirstReceiveBytes : kReceiveBytes, kMaxFrameBytes - total);
    line.resize(total + want);
    auto received = socket.receive(std::span<char>(line.data() + total, want));
    if (!received) return std::unexpected(std::move(received.error()));
    if (*received == 0) break;
    const std::string_view chunk(line.data() + total, *received);
    const std::size_t feed = chunk.find('\n');
    if (feed != std::string_view::npos) {
      total += feed + 1;
      break;
    }
    total += *received;
  }
  line.resize(total);
  return line;
}

}  // namespace

platform::IoResult<void> write_request(platform::Socket handle, const Request& request) {
  auto text = request_text(request);
  if (!text) {
    handle.close();
    return std::unexpected(platform::IoError{platform::ErrorKind::InvalidData, std::move(text.error().message)});
  }
  text->push_back('\n');
  auto sent = handle.send_all(*text);
  handle.close();
  return sent;
}

platform::IoResult<Response> read_response(platform::Socket socket) {
  auto line = read_line(socket);
  socket.close();
  if (!line) return std::unexpected(std::move(line.error()));
  if (!text::is_valid_utf8(*line)) {
    return std::unexpected(platform::IoError{platform::ErrorKind::InvalidData, "stream did not contain valid UTF-8"});
  }
  if (line->empty()) {
    return std::unexpected(
        platform::IoError{platform::ErrorKind::UnexpectedEof, "connection closed before a frame arrived"});
  }
  auto response = read_response_record(*line);
  if (!response) {
    return std::unexpected(platform::IoError{platform::ErrorKind::InvalidData, std::move(response.error().message)});
  }
  return std::move(*response);
}

}  // namespace tov::protocol
