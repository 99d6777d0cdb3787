// Reading and writing a large answer, timed; bench/json_bench.sh runs it beside the same
// measurement of serde_json.
//
//   json_bench generate FILE [MIB]   writes an answer of about MIB MiB (default 8)
//   json_bench measure FILE RUNS     parses and writes FILE RUNS times each and prints
//                                    "parse <median ms>", "write <median ms>", "bytes <n>"
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <expected>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "json/json.h"

namespace {

// splitmix64, so that every run and machine gets the same answer.
class Random {
 public:
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

 private:
  std::uint64_t state_ = 42;
};

constexpr const char* kWords[] = {"alpha", "Bravo", "charlie", "delta", "écho", "foxtrot", "Größe",
                                  "hôtel", "India", "juliett", "kilo", "Лима", "mike", "東京",
                                  "oscar", "papa", "quebec", "romeo", "sierra", "🙂 tango"};

void append_text(std::string& out, Random& random) {
  out.push_back('"');
  const std::size_t words = 1 + random.below(8);
  for (std::size_t w = 0; w < words; ++w) {
    if (w > 0) out.push_back(' ');
    out.append(kWords[random.below(std::size(kWords))]);
    switch (random.below(12)) {
      case 0: out.append("\\n"); break;
      case 1: out.append("\\\"quoted\\\""); break;
      case 2: out.append("\\t\\\\path\\\\to"); break;
      case 3: out.append("\\u00e9\\u2014"); break;
      default: break;
    }
  }
  out.push_back('"');
}

void append_double(std::string& out, Random& random) {
  char text[32];
  const double value = static_cast<double>(random.next() % 2000000) / 1000.0 - 1000.0;
  std::snprintf(text, sizeof text, random.below(2) ? "%.3f" : "%.17g", value);
  out.append(text);
}

// One cell of a document: keys in sorted order, as the app writes them.
void append_cell(std::string& out, Random& random, std::size_t index) {
  out.append("{\"bold\":").append(random.below(2) ? "true" : "false");
  out.append(",\"format\":{\"align\":\"left\",\"size\":").append(std::to_string(8 + random.below(30)));
  out.append(",\"weight\":");
  append_double(out, random);
  out.append("},\"id\":").append(std::to_string(index));
  out.append(",\"marks\":[");
  const std::size_t marks = random.below(5);
  for (std::size_t m = 0; m < marks; ++m) {
    if (m > 0) out.push_back(',');
    out.append(std::to_string(static_cast<std::int64_t>(random.next() % 100000) - 50000));
  }
  out.append("],\"note\":null,\"score\":");
  append_double(out, random);
  out.append(",\"text\":");
  append_text(out, random);
  out.push_back('}');
}

std::string answer(std::size_t bytes) {
  Random random;
  std::string out = "{\"data\":{\"document\":{\"rows\":[";
  for (std::size_t row = 0; out.size() < bytes; ++row) {
    if (row > 0) out.push_back(',');
    out.append("{\"cells\":[");
    for (std::size_t c = 0; c < 8; ++c) {
      if (c > 0) out.push_back(',');
      append_cell(out, random, row * 8 + c);
    }
    out.append("],\"row\":").append(std::to_string(row)).append("}");
  }
  out.append("],\"title\":\"Quarterly r\\u00e9sum\\u00e9\"},\"revision\":12},\"ok\":true}");
  return out;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <class F>
double milliseconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int measure(const std::string& path, int runs) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  if (text.empty()) {
    std::cerr << "json_bench: cannot read " << path << '\n';
    return 1;
  }
  std::vector<double> parse_times;
  std::vector<double> write_times;
  tov::json::Value value;
  for (int i = 0; i < runs; ++i) {
    std::expected<tov::json::Value, tov::json::ReadError> parsed;
    parse_times.push_back(milliseconds([&] { parsed = tov::json::parse(text); }));
    if (!parsed) {
      std::cerr << parsed.error().message << '\n';
      return 1;
    }
    value = std::move(*parsed);  // the old value goes outside the timing
  }
  std::size_t written = 0;
  for (int i = 0; i < runs; ++i) {
    write_times.push_back(milliseconds([&] { written = tov::json::to_compact(value)->size(); }));
  }
  std::cout << "parse " << median(parse_times) << "\nwrite " << median(write_times) << "\nbytes "
            << written << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if ((args.size() == 2 || args.size() == 3) && args[0] == "generate") {
    const std::size_t mib = args.size() == 3 ? std::stoul(args[2]) : 8;
    std::ofstream(args[1], std::ios::binary) << answer(mib << 20);
    return 0;
  }
  if (args.size() == 3 && args[0] == "measure") return measure(args[1], std::stoi(args[2]));
  std::cerr << "usage: json_bench generate FILE [MIB] | measure FILE RUNS\n";
  return 2;
}
