#include "text/utf16_stream.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tov::text {
namespace {

struct Outcome {
  std::string text;
  std::optional<std::string> failure;
  bool pieces_fit = true;
};

// Reads everything as the console reader does: reads come from `reads` while the stream
// has nothing to hand out (after the last one, the end), and the text is taken in pieces of
// at most `buffer_size` bytes.
Outcome read_through(const std::vector<std::u16string>& reads, std::size_t buffer_size) {
  Utf16ToUtf8Stream stream;
  std::size_t next = 0;
  Outcome outcome;
  std::vector<char> buffer(buffer_size);
  for (;;) {
    while (!stream.ready()) {
      const auto units = next < reads.size() ? std::u16string_view(reads[next++]) : u"";
      if (auto put = stream.put(units); !put) {
        outcome.failure = put.error();
        return outcome;
      }
    }
    const std::size_t got = stream.take(buffer);
    if (got == 0) return outcome;
    outcome.pieces_fit = outcome.pieces_fit && got <= buffer_size;
    outcome.text.append(buffer.data(), got);
  }
}

TEST(Utf16Stream, ReadsBecomeUtf8WhateverTheirCutsAndTheReadersBuffer) {
  const std::string invalid(Utf16ToUtf8Stream::kInvalid);
  struct Case {
    const char* name;
    std::vector<std::u16string> reads;
    std::string text;  // all that is handed on before the end or the failure
    std::optional<std::string> failure;
  };
  const Case cases[] = {
      {"ascii", {u"{\"op\":1}\r\n"}, "{\"op\":1}\r\n", {}},
      {"two and three bytes", {u"caf\u00e9 \u20ac"}, "caf\xC3\xA9 \xE2\x82\xAC", {}},
      {"range ends", {std::u16string(1, u'\0') + u"\uFFFF\U0010FFFF"},
       std::string(1, '\0') + "\xEF\xBF\xBF\xF4\x8F\xBF\xBF", {}},
      {"pair in one read", {u"\U0001F600"}, "\xF0\x9F\x98\x80", {}},
      {"pair split by a read", {u"a\xD83D", u"\xDE00z"}, "a\xF0\x9F\x98\x80z", {}},
      {"pair split exactly at the boundary", {u"\xD83D", u"\xDE00"}, "\xF0\x9F\x98\x80", {}},
      {"many reads", {u"x", u"\u00e9", u"\xD83D", u"\xDE00", u"y"}, "x\xC3\xA9\xF0\x9F\x98\x80y", {}},
      {"no input", {}, "", {}},
      {"lone high at the end", {u"ab\xD83D"}, "ab", invalid},
      {"lone high before the end of a later read", {u"ok", u"\xD83D"}, "ok", invalid},
      {"lone low", {u"a\xDE00"}, "", invalid},
      {"lone low starting a read", {u"ok", u"\xDE00"}, "ok", invalid},
      {"high then no low", {u"\xD83Dx"}, "", invalid},
      {"high then no low across reads", {u"\xD83D", u"x"}, "", invalid},
      {"two highs", {u"\xD83D\xD83D\xDE00"}, "", invalid},
  };
  for (const auto& c : cases) {
    // One byte at a time, a buffer that parts characters, and one that holds everything.
    for (const std::size_t buffer_size : {1u, 3u, 4096u}) {
      SCOPED_TRACE(std::string(c.name) + ", buffer " + std::to_string(buffer_size));
      const Outcome outcome = read_through(c.reads, buffer_size);
      EXPECT_EQ(outcome.text, c.text);
      EXPECT_EQ(outcome.failure, c.failure);
      EXPECT_TRUE(outcome.pieces_fit);
    }
  }
}

TEST(Utf16Stream, WritePiecesNeverPartAPair) {
  struct Case {
    std::u16string units;
    std::size_t limit;
    std::size_t piece;
  };
  const Case cases[] = {
      {u"abc", 4, 3},                 // all fits
      {u"abc\xD83D", 4, 4},           // all fits, even a lone high at the end
      {u"abcde", 4, 4},               // cut between two plain units
      {u"abc\xD83D\xDE00", 4, 3},     // the pair waits for the next piece
      {u"ab\xD83D\xDE00x", 4, 4},     // the pair ends the piece
      {u"abc\xDE00x", 4, 4},          // a lone low is cut like any unit
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(utf16_piece_length(cases[i].units.data(), cases[i].units.size(), cases[i].limit),
              cases[i].piece)
        << "case " << i;
  }

  // Pairs behind one plain unit, so that the writer's limit falls inside one: every piece
  // ends on a whole character.
  std::u16string text = u"x";
  for (int i = 0; i < 5000; ++i) text += u"\U0001F600";
  std::u16string joined;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t piece = utf16_piece_length(text.data() + at, text.size() - at, 8192);
    ASSERT_GT(piece, 0u);
    EXPECT_NE(text[at + piece - 1], u'\xD83D') << "a piece ends inside a pair at " << at + piece;
    joined += text.substr(at, piece);
    at += piece;
  }
  EXPECT_EQ(joined, text);
}

}  // namespace
}  // namespace tov::text
