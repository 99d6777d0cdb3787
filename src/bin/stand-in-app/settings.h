// How this run of the stand-in app behaves: its defaults and the test knobs from knobs.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tov::standin {

struct Settings {
  std::chrono::milliseconds publish_delay{0};
  bool publish = true;
  std::uint32_t version = 3;
  std::chrono::milliseconds answer_delay{0};
  bool close_without_answer = false;
  std::optional<std::string> raw_answer;
  std::optional<std::string> record_path;
  std::chrono::milliseconds idle_timeout{std::chrono::minutes(10)};
  // Publish an address on which nothing listens; `refuse_marker` makes it a one-time act.
  bool refuse = false;
  std::optional<std::string> refuse_marker;
  std::optional<std::string> pid_dir;
};

// Reads the knobs of this process's environment; a knob that does not read is ignored.
Settings read_settings();

}  // namespace tov::standin
