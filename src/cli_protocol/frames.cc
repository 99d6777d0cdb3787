#include "cli_protocol/frames.h"

#include <algorithm>
#include <array>
#include <string>

#include "cli_protocol/unicode_text.h"

namespace tov::protocol {

namespace {

constexpr std::size_t kReceiveBufferBytes = 8192;

// Bytes up to and including the first line feed, or up to the end of the stream; reaching
// kMaxFrameBytes counts as the end of the stream. Whatever follows the line feed is dropped.
platform::IoResult<std::string> read_line(platform::Socket& socket) {
  std::array<char, kReceiveBufferBytes> buffer;
  std::string line;
  std::size_t total = 0;
  while (total < kMaxFrameBytes) {
    const std::size_t want = std::min(buffer.size(), kMaxFrameBytes - total);
    auto received = socket.receive(std::span<char>(buffer.data(), want));
    if (!received) return std::unexpected(std::move(received.error()));
    if (*received == 0) break;
    total += *received;
    const std::string_view chunk(buffer.data(), *received);
    const std::size_t feed = chunk.find('\n');
    if (feed != std::string_view::npos) {
      line.append(chunk.substr(0, feed + 1));
      break;
    }
    line.append(chunk);
  }
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
