#include "bin/stand-in-app/tab_model.h"

#include <algorithm>
#include <array>

namespace tov::standin {

namespace {

struct Format {
  std::string_view name;
  bool writable;
};

// The formats the stand-in registers, in the order status lists them.
constexpr std::array kFormats = {
    Format{"docx", true}, Format{"pptx", true}, Format{"xlsx", true},
    Format{"md", true},   Format{"pdf", false},
};

protocol::Response success(json::Value data) {
  protocol::Response r;
  r.ok = true;
  r.data = std::move(data);
  return r;
}

// A string member of an object, when there is one.
std::optional<std::string> string_param(const json::Value& params, const char* key) {
  if (!params.is_object()) return std::nullopt;
  auto it = params.find(key);
  if (it == params.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool flag_param(const json::Value& params, const char* key) {
  if (!params.is_object()) return false;
  auto it = params.find(key);
  return it != params.end() && it->is_boolean() && it->get<bool>();
}

json::Value tab_value(const Tab& tab) {
  return {{"id", tab.id},
          {"path", tab.path ? json::Value(*tab.path) : json::Value(nullptr)},
          {"format", tab.format},
          {"dirty", tab.dirty},
          {"revision", tab.revision}};
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The format that opens `path`, from its extension (any letter case); none when unknown.
std::optional<std::string_view> format_for_path(std::string_view path) {
  const auto slash = path.find_last_of("/\\");
  const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string ext(name.substr(dot + 1));
  std::ranges::transform(ext, ext.begin(), ascii_lower);
  for (const auto& format : kFormats) {
    if (format.name == ext) return format.name;
  }
  return std::nullopt;
}

}  // namespace

std::optional<protocol::Response> TabModel::handle(std::string_view op, const json::Value& params,
                                                   const std::optional<json::Value>& client) {
  if (op == "status") return status();
  if (op == "open") return open(params);
  if (op == "new") return create(params);
  if (op == "close") return close(params);
  if (op == "selectTab") return select_tab(params);
  if (op == "hello") return hello(client);
  return std::nullopt;
}

protocol::Response TabModel::status() const {
  json::Value tabs = json::Value::array();
  for (const auto& tab : tabs_) tabs.push_back(tab_value(tab));
  json::Value formats = json::Value::array();
  for (const auto& format : kFormats) {
    formats.push_back({{"format", std::string(format.name)}, {"writable", format.writable}});
  }
  return success({{"protocolVersion", 3},
                  {"busy", false},
                  {"activeTab", active_ ? json::Value(*active_) : json::Value(nullptr)},
                  {"tabs", std::move(tabs)},
                  {"formats", std::move(formats)}});
}

protocol::Response TabModel::open(const json::Value& params) {
  auto path = string_param(params, "path");
  if (!path) return protocol::Response::failure("BadRequest", "open needs a \"path\" string");
  auto format = format_for_path(*path);
  if (!format) {
    return protocol::Response::failure("UnsupportedFormat", "no registered format opens " + *path);
  }
  // Opening a document that is open already brings its tab forward.
  auto it = std::ranges::find(tabs_, std::optional<std::string>(*path), &Tab::path);
  if (it == tabs_.end()) {
    tabs_.push_back(Tab{next_id(), *path, std::string(*format), false, 0});
    it = tabs_.end() - 1;
  }
  active_ = it->id;
  return success(tab_value(*it));
}

protocol::Response TabModel::create(const json::Value& params) {
  auto name = string_param(params, "format");
  if (!name) return protocol::Response::failure("BadRequest", "new needs a \"format\" string");
  auto format = std::ranges::find(kFormats, std::string_view(*name), &Format::name);
  if (format == kFormats.end() || !format->writable) {
    return protocol::Response::failure("UnsupportedFormat",
                                       *name + " is not a registered writable format");
  }
  // An untitled document has never been saved, so closing it would lose it.
  tabs_.push_back(Tab{next_id(), std::nullopt, *name, true, 0});
  active_ = tabs_.back().id;
  return success(tab_value(tabs_.back()));
}

protocol::Response TabModel::close(const json::Value& params) {
  auto target = string_param(params, "target");
  Tab* tab = target ? find(*target) : (active_ ? find(*active_) : nullptr);
  if (!tab) {
    return protocol::Response::failure(
        "NotFound", target ? "no tab matches " + *target : std::string("no tab is open"));
  }
  if (tab->dirty && !flag_param(params, "force")) {
    return protocol::Response::failure(
        "UnsavedChanges", tab->id + " has unsaved changes; close it with force to discard them");
  }
  const std::string closed = tab->id;
  std::erase_if(tabs_, [&](const Tab& t) { return t.id == closed; });
  if (active_ == closed) {
    active_ = tabs_.empty() ? std::nullopt : std::optional<std::string>(tabs_.back().id);
  }
  return success({{"closed", closed},
                  {"activeTab", active_ ? json::Value(*active_) : json::Value(nullptr)}});
}

protocol::Response TabModel::select_tab(const json::Value& params) {
  auto target = string_param(params, "target");
  if (!target) {
    return protocol::Response::failure("BadRequest", "selectTab needs a \"target\" string");
  }
  Tab* tab = find(*target);
  if (!tab) return protocol::Response::failure("NotFound", "no tab matches " + *target);
  active_ = tab->id;
  return success(tab_value(*tab));
}

protocol::Response TabModel::hello(const std::optional<json::Value>& client) {
  return success({{"protocolVersion", 3},
                  {"client", client ? *client : json::Value(nullptr)}});
}

Tab* TabModel::find(std::string_view target) {
  for (auto& tab : tabs_) {
    if (tab.id == target || (tab.path && *tab.path == target)) return &tab;
  }
  return nullptr;
}

std::string TabModel::next_id() { return "tab-" + std::to_string(++last_id_); }

}  // namespace tov::standin
