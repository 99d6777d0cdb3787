#include "cli_protocol/client_identity.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/env_guard.h"

namespace tov::protocol {
namespace {

// An environment where no agent source is set, restored afterwards.
struct CleanEnv {
  tov::testing::EnvGuard env;
  CleanEnv() {
    for (const char* name :
         {"DESKTOP_APP_CLIENT", "TOV_OFFICE_DESKTOP_CLIENT", "AI_AGENT", "CLAUDECODE", "CLAUDE_CODE_ENTRYPOINT",
          "CLAUDE_AGENT_SDK_VERSION", "CODEX_HOME", "CODEX_SANDBOX", "CURSOR_TRACE_ID", "GITHUB_COPILOT_AGENT"}) {
      env.unset(name);
    }
  }
};

ClientIdentity identity(std::string id, std::optional<std::string> version = std::nullopt) {
  return {std::move(id), std::move(version), std::nullopt};
}

TEST(DetectClient, ExplicitTextFollowsTheSlashRuleAndIgnoresTheEnvironment) {
  CleanEnv clean;
  clean.env.set("DESKTOP_APP_CLIENT", "from-env/9");
  const std::pair<std::string, ClientIdentity> cases[] = {
      {"", identity("")},
      {"codex/2", identity("codex", "2")},
      {"codex/", identity("codex")},
      {"/1.0", identity("", "1.0")},
      {"a/b/c", identity("a", "b/c")},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(detect_client(text), expected) << text;
}

TEST(DetectClient, EnvironmentSourcesInOrder) {
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> vars;
    std::optional<ClientIdentity> expected;
  };
  const Case cases[] = {
      {"nothing set", {}, std::nullopt},
      {"empty first source passes on",
       {{"DESKTOP_APP_CLIENT", ""}, {"TOV_OFFICE_DESKTOP_CLIENT", "zed/"}},
       identity("zed")},
      {"first source wins", {{"DESKTOP_APP_CLIENT", "a/1"}, {"TOV_OFFICE_DESKTOP_CLIENT", "b"}}, identity("a", "1")},
      {"spaces count and stay", {{"DESKTOP_APP_CLIENT", "  "}}, identity("  ")},
      {"underscore rule", {{"AI_AGENT", "agentx_1-2-3"}}, identity("agentx", "1.2.3")},
      {"underscore, no version", {{"AI_AGENT", "agentx"}}, identity("agentx")},
      {"underscore, empty version kept", {{"AI_AGENT", "agentx_"}}, identity("agentx", "")},
      {"underscore, empty id", {{"AI_AGENT", "_1-0"}}, identity("", "1.0")},
      {"underscore, third piece dropped", {{"AI_AGENT", "agentx_1_2"}}, identity("agentx", "1")},
      {"AI_AGENT before CLAUDECODE", {{"AI_AGENT", "x"}, {"CLAUDECODE", "1"}}, identity("x")},
      {"claude code with sdk version",
       {{"CLAUDECODE", "1"}, {"CLAUDE_AGENT_SDK_VERSION", "0.1-beta"}},
       identity("claude-code", "0.1-beta")},
      {"empty sdk version", {{"CLAUDECODE", "1"}, {"CLAUDE_AGENT_SDK_VERSION", ""}}, identity("claude-code")},
      {"entrypoint after empty CLAUDECODE",
       {{"CLAUDECODE", ""}, {"CLAUDE_CODE_ENTRYPOINT", "cli"}},
       identity("claude-code")},
      {"claude before codex", {{"CLAUDECODE", "1"}, {"CODEX_HOME", "/h"}}, identity("claude-code")},
      {"codex sandbox", {{"CODEX_SANDBOX", "seatbelt"}}, identity("codex")},
      {"cursor", {{"CURSOR_TRACE_ID", "t"}}, identity("cursor")},
      {"copilot", {{"GITHUB_COPILOT_AGENT", "1"}}, identity("copilot")},
      {"sdk version alone is no source", {{"CLAUDE_AGENT_SDK_VERSION", "1"}}, std::nullopt},
  };
  for (const auto& c : cases) {
    CleanEnv clean;
    for (const auto& [name, value] : c.vars) clean.env.set(name, value);
    EXPECT_EQ(detect_client(std::nullopt), c.expected) << c.what;
  }
}

TEST(DetectClient, ValueThatIsNotUnicodeIsPassedOver) {
  CleanEnv clean;
  clean.env.set_invalid_unicode("DESKTOP_APP_CLIENT");
  clean.env.set("CLAUDECODE", "1");
  clean.env.set_invalid_unicode("CLAUDE_AGENT_SDK_VERSION");
  EXPECT_EQ(detect_client(std::nullopt), identity("claude-code"));
}

TEST(NormalizeAgentName, Names) {
  const std::pair<std::string, std::string> cases[] = {
      {"  Claude Code  ", "claude-code"},
      {"Claude Desktop", "claude"},
      {"Visual Studio Code", "vscode"},
      {"GitHub Copilot Chat", "copilot"},
      {"openai-codex", "openai"},
      {"Zed Preview", "zed"},
      {"zedd", "zedd"},
      {"glm4", "glm4"},
      {"Claude_Code", "claude-code"},
      {"my.agent beta", "my-agent-beta"},
      {"--weird__name--", "weird-name"},
      {"caf\xC3\xA9 bot", "caf-bot"},
      {"", "cli"},
      {" \t\xE3\x80\x80", "cli"},
      {"!!! ...", "cli"},
      {"\xE6\x97\xA5\xE6\x9C\xAC", "cli"},
      {"\xC4\xB0NFO", "i-nfo"},               // U+0130 gives i and a combining dot
      {"\xE2\x84\xAAimi", "kimi"},            // the Kelvin sign gives k
      {"\xC3\x85ngstr\xC3\xB6m", "ngstr-m"},  // other capitals stay non-ASCII
      {"Agent\xFF", "agent"},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(normalize_agent_name(name), expected) << ::testing::PrintToString(name);
  }
}

TEST(NormalizeAgentName, EveryAliasMatchesAloneOrBeforeAHyphenOnly) {
  ASSERT_EQ(agent_alias_table().size(), 30u);
  for (const auto& row : agent_alias_table()) {
    const std::string alias(row.alias);
    EXPECT_EQ(normalize_agent_name(alias), row.id) << alias;
    EXPECT_EQ(normalize_agent_name(alias + " Extra"), row.id) << alias;
    EXPECT_NE(normalize_agent_name(alias + "x"), row.id) << alias;
  }
}

}  // namespace
}  // namespace tov::protocol
