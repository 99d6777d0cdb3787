// The stand-in app's control file: written whole when the channel opens, removed at exit
// while it is still ours.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace tov::standin {

// A fresh control token: 32 lower-case hexadecimal digits from std::random_device.
std::string fresh_token();

// The control file's text: version, socket, token and this process's id.
std::string control_file_text(std::uint32_t version, std::string_view socket,
                              std::string_view token, std::uint32_t pid);

// Writes the control file where the program looks for it; returns its path.
std::expected<std::string, std::string> publish_control_file(std::string_view text);

// Removes the file at `path` only when it still carries `token`: a newer app may have
// replaced it, and that one's file must stay.
void withdraw_control_file(const std::string& path, std::string_view token);

}  // namespace tov::standin
