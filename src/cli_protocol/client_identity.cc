#include "cli_protocol/client_identity.h"

#include <array>

#include "platform/platform.h"
#include "text/unicode_text.h"
#include "text/utf8.h"

namespace tov::protocol {

namespace {

// Consulted top to bottom: "claude-code" must come before "claude".
constexpr std::array<AgentAlias, 30> kAgentAliases{{
    {"claude-code", "claude-code"},
    {"claude", "claude"},
    {"codex", "codex"},
    {"chatgpt", "chatgpt"},
    {"openai", "openai"},
    {"cursor", "cursor"},
    {"copilot", "copilot"},
    {"github-copilot", "copilot"},
    {"google-gemini", "gemini"},
    {"gemini", "gemini"},
    {"kimi", "kimi"},
    {"moonshot", "kimi"},
    {"deepseek", "deepseek"},
    {"qwen", "qwen"},
    {"tongyi", "qwen"},
    {"doubao", "doubao"},
    {"zhipu", "zhipu"},
    {"chatglm", "zhipu"},
    {"glm", "zhipu"},
    {"grok", "grok"},
    {"xai", "grok"},
    {"windsurf", "windsurf"},
    {"codeium", "windsurf"},
    {"cline", "cline"},
    {"trae", "trae"},
    {"zed", "zed"},
    {"perplexity", "perplexity"},
    {"mistral", "mistral"},
    {"visual-studio-code", "vscode"},
    {"vscode", "vscode"},
}};

// Only the lower-case mappings that can yield ASCII letters matter, since every other
// character becomes "-" afterwards. Unicode's full mapping adds just two such characters
// to A-Z: U+0130 (to "i" and a combining dot above) and the Kelvin sign (to "k").
struct LowerCaseFold {
  char32_t from;
  std::u32string_view to;
};
constexpr std::array<LowerCaseFold, 2> kNonAsciiFolds{{
    {0x0130, U"i\u0307"},
    {0x212A, U"k"},
}};

void append_lower_case(std::u32string& out, char32_t c) {
  if (c >= U'A' && c <= U'Z') {
    out.push_back(c - U'A' + U'a');
    return;
  }
  for (const auto& fold : kNonAsciiFolds) {
    if (fold.from == c) {
      out.append(fold.to);
      return;
    }
  }
  out.push_back(c);
}

// The character itself for ASCII letters and digits, '-' for everything else.
char32_t agent_name_char(char32_t c) {
  const bool ascii_alnum = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
  return ascii_alnum ? c : U'-';
}

// The hyphen-separated pieces of `name`, empty ones dropped, joined by single hyphens.
std::string collapse_hyphens(std::string_view name) {
  std::string out;
  std::size_t pos = 0;
  while (pos < name.size()) {
    const std::size_t next = name.find('-', pos);
    const std::size_t end = next == std::string_view::npos ? name.size() : next;
    if (end > pos) {
      if (!out.empty()) out.push_back('-');
      out.append(name.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  return out;
}

bool alias_matches(std::string_view name, std::string_view alias) {
  if (name == alias) return true;
  return name.size() > alias.size() && name.starts_with(alias) && name[alias.size()] == '-';
}

// `id` before the first '/', `version` after it when something follows.
ClientIdentity by_slash_rule(std::string_view text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return {std::string(text), std::nullopt, std::nullopt};
  ClientIdentity identity{std::string(text.substr(0, slash)), std::nullopt, std::nullopt};
  if (slash + 1 < text.size()) identity.version = std::string(text.substr(slash + 1));
  return identity;
}

// `id` before the first '_', `version` the next piece with '-' read as '.', kept even when empty.
ClientIdentity by_underscore_rule(std::string_view text) {
  const std::size_t first = text.find('_');
  if (first == std::string_view::npos) return {std::string(text), std::nullopt, std::nullopt};
  std::string_view rest = text.substr(first + 1);
  rest = rest.substr(0, rest.find('_'));
  std::string version(rest);
  for (char& c : version) {
    if (c == '-') c = '.';
  }
  return {std::string(text.substr(0, first)), std::move(version), std::nullopt};
}

// The variable's value when it is set, valid Unicode and not empty.
std::optional<std::string> non_empty_env(const char* name) {
  auto value = platform::env_var(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

ClientIdentity claude_code_identity() {
  return {"claude-code", non_empty_env("CLAUDE_AGENT_SDK_VERSION"), std::nullopt};
}

// The environment's sources, first one that counts decides.
struct ClientSource {
  const char* variable;
  ClientIdentity (*identity)(std::string_view value);
};
constexpr std::array<ClientSource, 9> kClientSources{{
    {"DESKTOP_APP_CLIENT", by_slash_rule},
    {"TOV_OFFICE_DESKTOP_CLIENT", by_slash_rule},
    {"AI_AGENT", by_underscore_rule},
    {"CLAUDECODE", [](std::string_view) { return claude_code_identity(); }},
    {"CLAUDE_CODE_ENTRYPOINT", [](std::string_view) { return claude_code_identity(); }},
    {"CODEX_HOME",
     [](std::string_view) {
       return ClientIdentity{"codex", std::nullopt, std::nullopt};
     }},
    {"CODEX_SANDBOX",
     [](std::string_view) {
       return ClientIdentity{"codex", std::nullopt, std::nullopt};
     }},
    {"CURSOR_TRACE_ID",
     [](std::string_view) {
       return ClientIdentity{"cursor", std::nullopt, std::nullopt};
     }},
    {"GITHUB_COPILOT_AGENT",
     [](std::string_view) {
       return ClientIdentity{"copilot", std::nullopt, std::nullopt};
     }},
}};

}  // namespace

std::span<const AgentAlias> agent_alias_table() { return kAgentAliases; }

std::optional<ClientIdentity> detect_client(std::optional<std::string_view> explicit_text) {
  if (explicit_text) return by_slash_rule(*explicit_text);
  for (const auto& source : kClientSources) {
    if (auto value = non_empty_env(source.variable)) return source.identity(*value);
  }
  return std::nullopt;
}

std::string normalize_agent_name(std::string_view name) {
  const std::string_view trimmed = text::trim(name);

  std::u32string lowered;
  for (std::size_t pos = 0; pos < trimmed.size();) {
    const text::Utf8Step step = text::decode_utf8(trimmed, pos);
    // Bytes that are not UTF-8 are no letters: they become hyphens like any other.
    append_lower_case(lowered, step.valid ? step.code_point : U'\uFFFD');
    pos += step.length;
  }

  std::string folded;
  folded.reserve(lowered.size());
  for (char32_t c : lowered) folded.push_back(static_cast<char>(agent_name_char(c)));

  const std::string collapsed = collapse_hyphens(folded);
  if (collapsed.empty()) return "cli";
  for (const auto& row : kAgentAliases) {
    if (alias_matches(collapsed, row.alias)) return std::string(row.id);
  }
  return collapsed;
}

}  // namespace tov::protocol
