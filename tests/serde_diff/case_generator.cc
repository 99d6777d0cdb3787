#include "case_generator.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "text/utf8.h"

namespace tov::serde_diff {

namespace {

// splitmix64: small, fast and the same everywhere (unlike the standard distributions).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
  template <class T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  std::uint64_t state_;
};

// Valid documents that the truncations and mutations start from: free values and the
// three records in both forms, with the whitespace, escapes and numbers they may hold.
constexpr std::string_view kSeeds[] = {
    R"({"version":3,"socket":"127.0.0.1:49152","token":"tok-123","pid":4242})",
    R"({ "version" : 3 , "socket" : "[::1]:8080" , "token" : "a\"b\\c" , "pid" : 0 })",
    "{\n  \"version\": 3,\n  \"socket\": \"127.0.0.1:1\",\n  \"token\": \"t\",\n  \"pid\": 4294967295\n}\n",
    R"([3,"127.0.0.1:1","t",1])",
    R"({"pid":1,"token":"t","extra":{"a":[1,2,{"b":null}]},"socket":"s","version":3})",
    R"({"ok":true})",
    R"({"ok":true,"data":{"tabs":[{"id":1,"title":"Doc \u00e9"},{"id":2,"title":"x"}]}})",
    R"({"ok":false,"error":{"code":"BadRequest","message":"no such tab","details":{"tab":7}}})",
    R"({"data":[1,2.5,-3,"x"],"ok":true,"error":null})",
    R"({"ok":false,"error":["Timeout","took too long"]})",
    R"([true])",
    R"([false,null,["ActionFailed","m",{"k":[]}]])",
    R"([true,{"a":1},null])",
    "{\"ok\":true,\"data\":null,\"unknown\":[true,false,null,-1.5e-3,\"s\\u0041\",{}]}\r\n",
    R"({"o\u006b":true,"d\u0061ta":"escaped keys"})",
    R"({"ok":true,"error":{"message":"m","code":"c","details":null,"more":1}})",
    R"({"a":1,"b":[true,false,null],"c":{"d":"e"},"f":-0.0,"g":1e300})",
    R"([1,-1,0,-0,1.0,1e16,1e-6,0.00001,123456789012345680000,18446744073709551615,18446744073709551616,-9223372036854775808,-9223372036854775809])",
    R"("\"\\\/\b\f\n\r\t\u0000\u001f\u007f\u00ff\uffff\ud83d\ude00")",
    "\"plain text with caf\xc3\xa9 and \xe2\x82\xac and \xf0\x9f\x98\x80\"",
    R"({"k":"v","k":"w","k":{"x":1}})",
    R"([[],[[]],{},{"":{}},[{}]])",
    " \t\n\r [ 1 , 2 ] \t\n\r ",
    "null",
    "true",
    "false",
    "0",
    "-12.5E+3",
    R"({"z":1,"y":2,"x":3,"a":{"c":1,"b":2}})",
};

// Bytes that mutations like to put in: structure, number parts, escapes, whitespace,
// control characters and bytes that cannot start or continue UTF-8.
constexpr char kInteresting[] = {'[', ']', '{', '}', ',', ':', '"', '\\', 'u', 'n', 't', 'f',
                                 '0', '1', '9', '-', '+', '.', 'e', 'E', ' ', '\n', '\r', '\t',
                                 '\0', '\x1f', '\x7f', '\x80', '\xbf', '\xc3', '\xed', '\xf0',
                                 '\xff', 'x', 'D', '8', 'a'};

void add_truncations(std::vector<std::string>& out, std::string_view doc) {
  for (std::size_t length = 0; length < doc.size(); ++length) out.emplace_back(doc.substr(0, length));
}

std::string mutate(std::string doc, Random& random) {
  const int edits = 1 + static_cast<int>(random.below(3));
  for (int e = 0; e < edits; ++e) {
    const std::size_t at = random.below(doc.size() + 1);
    const char byte = random.chance(70) ? random.pick(kInteresting) : static_cast<char>(random.next());
    switch (random.below(5)) {
      case 0:
        if (at < doc.size()) doc[at] = byte;
        break;
      case 1: doc.insert(doc.begin() + static_cast<std::ptrdiff_t>(at), byte); break;
      case 2:
        if (at < doc.size()) doc.erase(at, 1 + random.below(3));
        break;
      case 3:
        if (at + 1 < doc.size()) std::swap(doc[at], doc[at + 1]);
        break;
      default: {
        // Repeat a piece, as in a duplicated key or element.
        const std::size_t length = random.below(12);
        if (at + length <= doc.size()) doc.insert(at, doc.substr(at, length));
      }
    }
  }
  return doc;
}

std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out.append(piece);
  return out;
}

void add_nesting(std::vector<std::string>& out) {
  const std::size_t depths[] = {1, 2, 3, 63, 125, 126, 127, 128, 129, 130, 200, 1000, 20000};
  for (std::size_t d : depths) {
    out.push_back(repeat("[", d) + repeat("]", d));
    out.push_back(repeat("[", d));
    out.push_back(repeat("[", d) + "1" + repeat("]", d));
    out.push_back(repeat("{\"a\":", d) + "1" + repeat("}", d));
    out.push_back(repeat("{\"a\":[", d) + repeat("]}", d));
    out.push_back(repeat("[ ", d) + repeat(" ]", d - 1));
    // Inside the records: the record itself is one level, its error another.
    out.push_back("{\"ok\":true,\"data\":" + repeat("[", d) + repeat("]", d) + "}");
    out.push_back("[true," + repeat("[", d) + repeat("]", d) + "]");
    out.push_back("{\"ok\":false,\"error\":{\"code\":\"c\",\"message\":\"m\",\"details\":" + repeat("{\"k\":", d) +
                  "null" + repeat("}", d) + "}}");
    out.push_back("[false,null,[\"c\",\"m\"," + repeat("[", d) + repeat("]", d) + "]]");
    // Keys that name no field are skipped without counting their nesting.
    out.push_back("{\"ok\":true,\"skipped\":" + repeat("[", d) + repeat("]", d) + "}");
    out.push_back("{\"skipped\":" + repeat("{\"a\":[", d) + repeat("]}", d) + ",\"ok\":false}");
    out.push_back("{\"ok\":true,\"skipped\":" + repeat("[", d));
    out.push_back("{\"version\":3,\"socket\":\"s\",\"token\":\"t\",\"pid\":1,\"x\":" + repeat("[{\"y\":", d) +
                  "0" + repeat("}]", d) + "}");
  }
}

// Number texts: boundaries of every integer width, of doubles and of their exponents,
// long mantissas, halfway cases, and malformed numbers.
constexpr std::string_view kNumbers[] = {
    "0", "-0", "1", "-1", "00", "01", "-01", "0.0", "-0.0", "0e0", "-0e-0", "0E+5", "1e0",
    "4294967295", "4294967296", "-4294967295", "-4294967296", "2147483647", "-2147483648",
    "9007199254740991", "9007199254740992", "9007199254740993", "9007199254740995",
    "-9007199254740993", "9223372036854775807", "9223372036854775808", "-9223372036854775807",
    "-9223372036854775808", "-9223372036854775809", "18446744073709551615",
    "18446744073709551616", "-18446744073709551615", "-18446744073709551616",
    "99999999999999999999", "123456789012345678901234567890", "-123456789012345678901234567890",
    "123456789012345680000", "3.0", "3.5", "1.0", "0.1", "0.3", "0.30000000000000004",
    "1e15", "1e16", "1e17", "1e21", "1e22", "1e23", "1e-5", "1e-6", "1e-7", "1.5e300",
    "123.456e-7", "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
    "1.797693134862315807937289714053e308", "1.797693134862315807937289714054e308", "1e308",
    "1e309", "-1e309", "2e308", "4.9406564584124654e-324", "5e-324", "2.4703282292062327e-324",
    "2.4703282292062328e-324", "2.2250738585072011e-308", "2.2250738585072012e-308",
    "2.2250738585072014e-308", "1e-324", "1e-400", "-1e-400", "1e-2147483647", "1e2147483647",
    "1e2147483648", "1e-2147483648", "0e2147483648", "0.0e99999999999", "-0e99999999999",
    "1e99999999999", "1e-99999999999", "123456789012345678901e-99999999999",
    "123456789012345678901e99999999999", "0.000000000000000000000000000000001e2147483647",
    "1.00000000000000011102230246251565404236316680908203125",
    "1.00000000000000011102230246251565404236316680908203124",
    "1.00000000000000011102230246251565404236316680908203126",
    "9007199254740993.0000000000000000000001", "0.1e1", "1.5E+10", "1.5e-10", "-1.5E-10",
    "1E400", "1e+400", "1.e5", ".5", "-.5", "1.", "-", "--1", "+1", "1e", "1e+", "1e-", "1.5e",
    "0x10", "1_000", "NaN", "Infinity", "-Infinity", "1.0.0", "1e5.5", "- 1", "0.", "1ee5",
    "18446744073709551616.5", "18446744073709551615.", "18446744073709551615.5",
    "123456789012345678901.", "123456789012345678901e", "123456789012345678901.5e+",
    "123456789012345678901.5e7", "0.123456789012345678901234567890", "-0.000000000000000000001",
    "0.00000000000000000000000000000000000000000000000000000000000000001234567890123456789",
    "1234567890123456789012345678901234567890e-300", "9999999999999999999.9999999999e-20",
    "1e-320", "-1e-320", "3e-324", "7e-324", "1.23456789e-315", "8.98846567431158e307",
    "4503599627370496.5", "4503599627370497.5", "1e+0", "1e-0", "1E00000000000000000001",
    "12345678901234567890123e-2", "0.0000000000000000000000000000000000000000000000000000e500",
};

// Where a number may stand: a free value, the records' u32 and boolean fields, a value
// field, and a skipped member.
constexpr std::string_view kNumberContexts[] = {
    "#",
    " # ",
    "[#]",
    "[#,#]",
    "{\"a\":#}",
    "{\"version\":#,\"socket\":\"s\",\"token\":\"t\",\"pid\":1}",
    "{\"version\":3,\"socket\":\"s\",\"token\":\"t\",\"pid\":#}",
    "[#,\"s\",\"t\",1]",
    "{\"ok\":#}",
    "{\"ok\":true,\"data\":#}",
    "[true,#]",
    "{\"ok\":true,\"skip\":#}",
    "{\"ok\":true,\"error\":{\"code\":\"c\",\"message\":\"m\",\"details\":#}}",
    "{\"ok\":true,\"error\":{\"code\":#}}",
    "{\"version\":# ,\"pid\":1}",
};

std::string fill(std::string_view context, std::string_view text) {
  std::string out;
  for (char c : context) {
    if (c == '#') {
      out.append(text);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string random_digits(Random& random, std::size_t count) {
  std::string digits;
  for (std::size_t i = 0; i < count; ++i) digits.push_back(static_cast<char>('0' + random.below(10)));
  return digits;
}

std::string random_number(Random& random) {
  switch (random.below(4)) {
    case 0: {
      // Integers of every width.
      std::string n = random.chance(30) ? "-" : "";
      n.push_back(static_cast<char>('1' + random.below(9)));
      return n + random_digits(random, random.below(24));
    }
    case 1: {
      // Any double's bits, written as serde_json would and with 17 digits.
      std::uint64_t bits = random.next();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      if (!std::isfinite(d)) d = 1.5;
      char text[64];
      auto [end, ec] = random.chance(50) ? std::to_chars(text, text + sizeof text, d)
                                         : std::to_chars(text, text + sizeof text, d,
                                                         std::chars_format::scientific, 17);
      (void)ec;
      std::string n(text, end);
      for (auto& c : n) {
        if (c == 'e' && random.chance(30)) c = 'E';
      }
      if (n.find_first_of(".eE") == std::string::npos && random.chance(50)) n += ".0";
      return n;
    }
    case 2: {
      // Mantissa and exponent in parts, near the edges of the double range.
      std::string n = random.chance(30) ? "-" : "";
      n += random.chance(20) ? "0" : std::string(1, static_cast<char>('1' + random.below(9))) +
                                         random_digits(random, random.below(30));
      if (random.chance(70)) n += "." + random_digits(random, 1 + random.below(30));
      if (random.chance(80)) {
        n += random.chance(50) ? "e" : "E";
        const int signs = static_cast<int>(random.below(3));
        if (signs == 1) n += "+";
        if (signs == 2) n += "-";
        n += std::to_string(random.below(random.chance(50) ? 330 : 30));
      }
      return n;
    }
    default: {
      // Short decimals, the common case.
      return std::to_string(random.below(1000)) + "." + random_digits(random, 1 + random.below(6));
    }
  }
}

void add_numbers(std::vector<std::string>& out, Random& random) {
  for (std::string_view context : kNumberContexts) {
    for (std::string_view number : kNumbers) out.push_back(fill(context, number));
  }
  for (int i = 0; i < 3000; ++i) {
    out.push_back(fill(random.pick(kNumberContexts), random_number(random)));
  }
  // Very long mantissas, decided only by their last digits.
  const std::string zeros = repeat("0", 800);
  for (std::string_view tail : {"1", "5", "50000000001", "49999999999"}) {
    out.push_back("1." + zeros + std::string(tail));
    out.push_back("9007199254740993." + zeros + std::string(tail));
    out.push_back("0." + zeros + "2470328229206232720882538" + std::string(tail) + "e-0");
    out.push_back("[1" + zeros + std::string(tail) + "e-" + std::to_string(zeros.size()) + "]");
  }
}

// Pieces of string content: escapes good and bad, surrogates paired and lone, raw
// control characters, and raw bytes valid and not valid as UTF-8.
constexpr std::string_view kStringPieces[] = {
    "a", "plain", " ", "/", "'", "\\\"", "\\\\", "\\/", "\\b", "\\f", "\\n", "\\r", "\\t",
    "\\u0000", "\\u0008", "\\u001f", "\\u001F", "\\u0020", "\\u007f", "\\u0080", "\\u00ff",
    "\\u00AD", "\\u0100", "\\u0301", "\\u07ff", "\\u0800", "\\u2028", "\\u200b", "\\ufeff",
    "\\ue000", "\\ufffd", "\\uFFFF", "\\uffff", "\\ud800\\udc00", "\\uDBFF\\uDFFF",
    "\\ud83d\\ude00", "\\udc00", "\\udfff", "\\ud800", "\\ud800x", "\\ud800\\n", "\\ud800\\u0041",
    "\\ud800\\ud800", "\\ud800\\", "\\ud800\\u", "\\ud800\\udc", "\\u12", "\\u12G4", "\\u", "\\x",
    "\\a", "\\'", "\\U0041", "\\", "\x01", "\x08", "\x1f", std::string_view("\x00", 1), "\x7f",
    "\t", "\n", "\r", "\x80", "\xc0\x80", "\xc3", "\xc3\xa9", "\xe2\x82\xac", "\xe2\x82",
    "\xed\xa0\x80", "\xef\xbb\xbf", "\xf0\x9f\x98\x80", "\xf0\x9f\x98", "\xf4\x8f\xbf\xbf",
    "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80", "\xff", "\xcc\x81", "\xc2\xad", "\xe2\x80\x8b",
    "\xc2\x85", "\xe2\x80\xa8", "\xee\x80\x80", "\xef\xbf\xbf",
};

// Where a string may stand: free value, key, string field, boolean field (its text then
// shows in the message), skipped member, skipped key, and the array forms.
constexpr std::string_view kStringContexts[] = {
    "\"#\"",
    "[\"#\"]",
    "{\"#\":1}",
    "{\"ok\":\"#\"}",
    "{\"version\":3,\"socket\":\"#\",\"token\":\"t\",\"pid\":1}",
    "{\"version\":\"#\"}",
    "{\"ok\":true,\"skip\":\"#\"}",
    "{\"ok\":true,\"#\":[1]}",
    "[\"#\"]",
    "[false,null,[\"#\",\"m\"]]",
    "{\"ok\":true,\"error\":{\"code\":\"#\",\"message\":1}}",
    "{\"ok\":true,\"error\":\"#\"}",
};

void add_strings(std::vector<std::string>& out, Random& random) {
  for (std::string_view context : kStringContexts) {
    for (std::string_view piece : kStringPieces) {
      out.push_back(fill(context, piece));
      out.push_back(fill(context, "ab" + std::string(piece) + "cd"));
    }
  }
  for (int i = 0; i < 2000; ++i) {
    std::string content;
    const std::size_t pieces = random.below(6);
    for (std::size_t p = 0; p < pieces; ++p) content.append(random.pick(kStringPieces));
    out.push_back(fill(random.pick(kStringContexts), content));
  }
}

// Every Unicode scalar value once, as raw UTF-8 and as \u escapes, in a string that a
// boolean field refuses: the message quotes it the way Rust's Debug does.
void add_every_character(std::vector<std::string>& out) {
  constexpr char32_t kBlock = 1024;
  for (char32_t first = 0; first < 0x110000; first += kBlock) {
    std::string raw = "{\"ok\":\"";
    std::string escaped = "{\"ok\":\"";
    for (char32_t c = first; c < first + kBlock; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      if (c < 0x20 || c == '"' || c == '\\') {
        char text[16];
        std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(c));
        raw.append(text);
      } else {
        text::append_utf8(raw, c);
      }
      if (first < 0x10000) {
        char text[16];
        std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned>(c));
        escaped.append(text);
      }
    }
    out.push_back(raw + "\"}");
    if (first < 0x10000) out.push_back(escaped + "\"}");
  }
}

void append_random_string(std::string& out, Random& random) {
  out.push_back('"');
  const std::size_t length = random.below(8);
  for (std::size_t i = 0; i < length; ++i) {
    switch (random.below(6)) {
      case 0: out.append("\\n"); break;
      case 1: text::append_utf8(out, static_cast<char32_t>(0x80 + random.below(0x700))); break;
      case 2: text::append_utf8(out, static_cast<char32_t>(0x1F300 + random.below(0x300))); break;
      case 3: out.append("\\u00e9"); break;
      default: out.push_back(static_cast<char>('a' + random.below(26)));
    }
  }
  out.push_back('"');
}

void append_whitespace(std::string& out, Random& random) {
  static constexpr char kSpace[] = {' ', '\t', '\n', '\r'};
  if (!random.chance(20)) return;
  const std::size_t n = 1 + random.below(3);
  for (std::size_t i = 0; i < n; ++i) out.push_back(random.pick(kSpace));
}

void append_random_value(std::string& out, Random& random, int depth) {
  static constexpr std::string_view kKeys[] = {"ok", "data", "error", "code", "message", "details",
                                              "version", "socket", "token", "pid", "x", "",
                                              "o\\u006b", "a", "b"};
  append_whitespace(out, random);
  const std::size_t kind = depth > 4 ? random.below(6) : random.below(8);
  switch (kind) {
    case 0: out.append("null"); break;
    case 1: out.append(random.chance(50) ? "true" : "false"); break;
    case 2: out.append(random_number(random)); break;
    case 3:
    case 4:
    case 5: append_random_string(out, random); break;
    case 6: {
      out.push_back('[');
      const std::size_t n = random.below(4);
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out.push_back(',');
        append_random_value(out, random, depth + 1);
      }
      append_whitespace(out, random);
      out.push_back(']');
      break;
    }
    default: {
      out.push_back('{');
      const std::size_t n = random.below(5);
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out.push_back(',');
        append_whitespace(out, random);
        out.push_back('"');
        out.append(random.pick(kKeys));
        out.push_back('"');
        append_whitespace(out, random);
        out.push_back(':');
        append_random_value(out, random, depth + 1);
      }
      append_whitespace(out, random);
      out.push_back('}');
    }
  }
  append_whitespace(out, random);
}

// A document shaped like one of the records, with fields left off, repeated, out of
// order, of the wrong type, and keys that name no field.
std::string random_record(Random& random) {
  static constexpr std::string_view kFields[] = {
      "\"ok\":true", "\"ok\":false", "\"ok\":null", "\"ok\":\"true\"", "\"data\":null", "\"data\":[1,{\"a\":2}]",
      "\"error\":null", "\"error\":{\"code\":\"c\",\"message\":\"m\"}", "\"error\":[\"c\",\"m\",{}]",
      "\"error\":{\"code\":\"c\"}", "\"error\":{\"message\":1}", "\"error\":{\"code\":\"c\",\"code\":\"d\"}",
      "\"version\":3", "\"version\":-3", "\"version\":3.5", "\"socket\":\"127.0.0.1:5\"", "\"token\":\"t\"",
      "\"pid\":99", "\"pid\":\"99\"", "\"x\":{\"ok\":1}", "\"details\":0", "\"o\\u006b\":true"};
  if (random.chance(25)) {
    static constexpr std::string_view kElements[] = {"true", "false", "null", "3", "\"s\"", "[\"c\",\"m\"]",
                                                     "{\"code\":\"c\",\"message\":\"m\"}", "[]", "{}", "1.5"};
    std::string out = "[";
    const std::size_t n = random.below(6);
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) out.push_back(',');
      append_whitespace(out, random);
      out.append(random.pick(kElements));
    }
    append_whitespace(out, random);
    return out + "]";
  }
  std::string out = "{";
  const std::size_t n = random.below(6);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out.push_back(',');
    append_whitespace(out, random);
    out.append(random.pick(kFields));
  }
  append_whitespace(out, random);
  return out + "}";
}

}  // namespace

std::vector<std::string> generate_cases() {
  Random random(0x5EED0F5E4DEULL);
  std::vector<std::string> out;
  std::vector<std::string> seeds(std::begin(kSeeds), std::end(kSeeds));
  for (int i = 0; i < 300; ++i) {
    std::string doc;
    append_random_value(doc, random, 0);
    seeds.push_back(std::move(doc));
  }
  for (int i = 0; i < 300; ++i) seeds.push_back(random_record(random));
  for (const std::string& seed : seeds) {
    out.push_back(seed);
    add_truncations(out, seed);
    for (int m = 0; m < 50; ++m) out.push_back(mutate(seed, random));
  }
  add_nesting(out);
  add_numbers(out, random);
  add_strings(out, random);
  add_every_character(out);
  return out;
}

}  // namespace tov::serde_diff
