// The little document model behind the stand-in app: open tabs, the active one, and the
// formats it registers. Enough for status, open, new, close, selectTab and hello to mean
// something; every other operation is echoed by the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_protocol/records.h"
#include "json/json.h"

namespace tov::standin {

struct Tab {
  std::string id;
  std::optional<std::string> path;  // none for an untitled document
  std::string format;
  bool dirty = false;
  std::uint64_t revision = 0;
};

class TabModel {
 public:
  // The answer to `op`, or none when the model does not handle that operation.
  std::optional<protocol::Response> handle(std::string_view op, const json::Value& params,
                                           const std::optional<json::Value>& client);

 private:
  protocol::Response status() const;
  protocol::Response open(const json::Value& params);
  protocol::Response create(const json::Value& params);
  protocol::Response close(const json::Value& params);
  protocol::Response select_tab(const json::Value& params);
  static protocol::Response hello(const std::optional<json::Value>& client);

  Tab* find(std::string_view target);
  std::string next_id();

  std::vector<Tab> tabs_;
  std::optional<std::string> active_;
  std::uint64_t last_id_ = 0;
};

}  // namespace tov::standin
