#include "cli_protocol/loopback.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>

namespace tov::protocol {

namespace {

constexpr std::chrono::seconds kConnectTimeout{15};

// Reads the standard notation of an IP socket address and nothing else: dotted decimal IPv4
// without leading zeros, bracketed IPv6 with "::" and a dotted IPv4 tail, an optional decimal
// scope id, and a decimal port. Every rule takes its input whole or leaves the position
// where it was, so that alternatives can be tried one after another.
class AddressReader {
 public:
  explicit AddressReader(std::string_view text) : text_(text) {}

  std::optional<platform::SocketAddress> socket_address() {
    if (auto v4 = atomically([&] { return socket_address_v4(); })) return v4;
    return atomically([&] { return socket_address_v6(); });
  }
  bool at_end() const { return pos_ == text_.size(); }

 private:
  template <class F>
  auto atomically(F rule) -> decltype(rule()) {
    const std::size_t saved = pos_;
    auto result = rule();
    if (!result) pos_ = saved;
    return result;
  }

  bool take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  std::optional<unsigned> digit(unsigned radix) {
    if (pos_ >= text_.size()) return std::nullopt;
    const char c = text_[pos_];
    unsigned value = 0;
    if (c >= '0' && c <= '9') {
      value = static_cast<unsigned>(c - '0');
    } else if (radix == 16 && c >= 'a' && c <= 'f') {
      value = static_cast<unsigned>(c - 'a' + 10);
    } else if (radix == 16 && c >= 'A' && c <= 'F') {
      value = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (value >= radix) return std::nullopt;
    ++pos_;
    return value;
  }

  // A number no greater than `max`, of at most `max_digits` digits (0: any number).
  std::optional<std::uint32_t> number(unsigned radix, std::size_t max_digits, bool allow_zero_prefix,
                                      std::uint32_t max) {
    return atomically([&]() -> std::optional<std::uint32_t> {
      const bool leading_zero = pos_ < text_.size() && text_[pos_] == '0';
      std::uint64_t value = 0;
      std::size_t count = 0;
      while (auto d = digit(radix)) {
        value = value * radix + *d;
        if (value > max) return std::nullopt;
        ++count;
        if (max_digits != 0 && count > max_digits) return std::nullopt;
      }
      if (count == 0) return std::nullopt;
      if (!allow_zero_prefix && leading_zero && count > 1) return std::nullopt;
      return static_cast<std::uint32_t>(value);
    });
  }

  // `rule`, preceded by `separator` unless it is the first of a series.
  template <class F>
  auto separated(char separator, std::size_t index, F rule) -> decltype(rule()) {
    return atomically([&]() -> decltype(rule()) {
      if (index > 0 && !take(separator)) return std::nullopt;
      return rule();
    });
  }

  std::optional<std::array<std::uint8_t, 4>> ipv4() {
    return atomically([&]() -> std::optional<std::array<std::uint8_t, 4>> {
      std::array<std::uint8_t, 4> octets{};
      for (std::size_t i = 0; i < 4; ++i) {
        auto octet = separated('.', i, [&] { return number(10, 3, false, 255); });
        if (!octet) return std::nullopt;
        octets[i] = static_cast<std::uint8_t>(*octet);
      }
      return octets;
    });
  }

  struct Groups {
    std::size_t count = 0;
    bool ended_with_ipv4 = false;
  };

  // Colon-separated 16-bit groups into `groups`, the last two possibly as dotted IPv4.
  Groups read_groups(std::span<std::uint16_t> groups) {
    const std::size_t limit = groups.size();
    for (std::size_t i = 0; i < limit; ++i) {
      if (i + 1 < limit) {
        if (auto v4 = separated(':', i, [&] { return ipv4(); })) {
          groups[i] = static_cast<std::uint16_t>(((*v4)[0] << 8) | (*v4)[1]);
          groups[i + 1] = static_cast<std::uint16_t>(((*v4)[2] << 8) | (*v4)[3]);
          return {i + 2, true};
        }
      }
      auto group = separated(':', i, [&] { return number(16, 4, true, 0xFFFF); });
      if (!group) return {i, false};
      groups[i] = static_cast<std::uint16_t>(*group);
    }
    return {limit, false};
  }

  std::optional<std::array<std::uint16_t, 8>> ipv6() {
    return atomically([&]() -> std::optional<std::array<std::uint16_t, 8>> {
      std::array<std::uint16_t, 8> head{};
      const Groups front = read_groups(head);
      if (front.count == 8) return head;
      // A dotted tail may only end the address, never stand before "::".
      if (front.ended_with_ipv4) return std::nullopt;
      if (!take(':') || !take(':')) return std::nullopt;
      // "::" stands for at least one group of zeros.
      std::array<std::uint16_t, 7> tail{};
      const Groups back = read_groups(std::span<std::uint16_t>(tail.data(), 8 - (front.count + 1)));
      std::copy_n(tail.begin(), back.count, head.begin() + static_cast<std::ptrdiff_t>(8 - back.count));
      return head;
    });
  }

  std::optional<std::uint16_t> port() {
    return atomically([&]() -> std::optional<std::uint16_t> {
      if (!take(':')) return std::nullopt;
      auto value = number(10, 0, true, 0xFFFF);
      if (!value) return std::nullopt;
      return static_cast<std::uint16_t>(*value);
    });
  }

  std::optional<platform::SocketAddress> socket_address_v4() {
    auto ip = ipv4();
    if (!ip) return std::nullopt;
    auto p = port();
    if (!p) return std::nullopt;
    platform::SocketAddress address;
    std::copy(ip->begin(), ip->end(), address.ip.begin());
    address.port = *p;
    return address;
  }

  std::optional<platform::SocketAddress> socket_address_v6() {
    if (!take('[')) return std::nullopt;
    auto ip = ipv6();
    if (!ip) return std::nullopt;
    const auto scope = atomically([&]() -> std::optional<std::uint32_t> {
      if (!take('%')) return std::nullopt;
      return number(10, 0, true, 0xFFFFFFFF);
    });
    if (!take(']')) return std::nullopt;
    auto p = port();
    if (!p) return std::nullopt;
    platform::SocketAddress address;
    address.is_v6 = true;
    for (std::size_t i = 0; i < 8; ++i) {
      address.ip[2 * i] = static_cast<std::uint8_t>((*ip)[i] >> 8);
      address.ip[2 * i + 1] = static_cast<std::uint8_t>((*ip)[i] & 0xFF);
    }
    address.port = *p;
    address.scope_id = scope.value_or(0);
    return address;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// Any address in 127.0.0.0/8, or exactly ::1 (an IPv4 address in IPv6 form does not count).
bool is_loopback(const platform::SocketAddress& address) {
  if (!address.is_v6) return address.ip[0] == 127;
  for (std::size_t i = 0; i < 15; ++i) {
    if (address.ip[i] != 0) return false;
  }
  return address.ip[15] == 1;
}

}  // namespace

platform::IoResult<platform::SocketAddress> loopback_address(std::string_view socket_text) {
  AddressReader reader(socket_text);
  auto address = reader.socket_address();
  if (!address || !reader.at_end()) {
    return std::unexpected(
        platform::IoError{platform::ErrorKind::InvalidInput,
                          "\u201C" + std::string(socket_text) + "\u201D is not an address this build can reach"});
  }
  if (!is_loopback(*address)) {
    return std::unexpected(
        platform::IoError{platform::ErrorKind::InvalidInput, "the control channel only talks to this machine"});
  }
  return *address;
}

platform::IoResult<platform::Socket> connect_loopback(std::string_view socket_text) {
  auto address = loopback_address(socket_text);
  if (!address) return std::unexpected(std::move(address.error()));
  return platform::Socket::connect(*address, kConnectTimeout);
}

platform::IoResult<platform::Socket> connect_with_timeouts(std::string_view socket_text) {
  auto stream = connect_loopback(socket_text);
  if (!stream) return stream;
  if (auto set = stream->set_receive_timeout(kStreamTimeout); !set) return std::unexpected(std::move(set.error()));
  if (auto set = stream->set_send_timeout(kStreamTimeout); !set) return std::unexpected(std::move(set.error()));
  return stream;
}

}  // namespace tov::protocol
