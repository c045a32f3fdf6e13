// The core's own time against a bare RapidJSON SAX pass over the same text.
//
// Reads the bundle from the file named by BRENVALE_BENCH_BUNDLE (written by
// `python bench/make_bundle.py --models 4000 --out /tmp/bundle.json`, or a small one such as
// examples/contract.json) and prints, besides Google Benchmark's table, the ratio of each
// operation to the bare parse.
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "contract/model.hpp"
#include "contract/read_contract.hpp"
#include "emit/emit_firestore.hpp"
#include "emit/emit_plain.hpp"
#include "emit/emit_zod.hpp"
#include "json/json_reader.hpp"

namespace {

const std::string& bundle_text() {
  static const std::string text = [] {
    const char* path = std::getenv("BRENVALE_BENCH_BUNDLE");
    std::ifstream in(path != nullptr ? path : "/tmp/bundle.json", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    if (bytes.str().empty()) {
      std::fprintf(stderr, "no bundle: set BRENVALE_BENCH_BUNDLE (see the file's comment)\n");
      std::exit(2);
    }
    return bytes.str();
  }();
  return text;
}

void bare_sax(benchmark::State& state) {
  const std::string& text = bundle_text();
  for (auto _ : state) {
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text.c_str());
    benchmark::DoNotOptimize(reader.Parse<rapidjson::kParseNumbersAsStringsFlag>(stream, handler));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The same pass as the reader makes it: in place, numbers as text. The floor under any read of
// the model from this parser; the copy it parses (the text is not to be changed) is timed too.
void bare_sax_in_place(benchmark::State& state) {
  const std::string& text = bundle_text();
  std::vector<char> copy(text.size() + 1);
  for (auto _ : state) {
    std::copy(text.c_str(), text.c_str() + text.size() + 1, copy.begin());
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    rapidjson::InsituStringStream stream(copy.data());
    constexpr unsigned flags = rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;
    benchmark::DoNotOptimize(reader.Parse<flags>(stream, handler));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void parse_only(benchmark::State& state) {
  const std::string& text = bundle_text();
  // In place, as a read parses a text without escapes (a std::string ends in a NUL byte).
  for (auto _ : state) benchmark::DoNotOptimize(brenvale::parse_json_in_place(text).ok);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Reading the model, as every output does before it renders.
brenvale::Contract read(const std::string& text) {
  return brenvale::read_contract(text, brenvale::DefinitionTable::defs).contract;
}

void model_only(benchmark::State& state) {
  const std::string& text = bundle_text();
  for (auto _ : state) benchmark::DoNotOptimize(read(text).nodes.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void emit(benchmark::State& state) {
  const std::string& text = bundle_text();
  for (auto _ : state) {
    benchmark::DoNotOptimize(brenvale::emit_firestore_module(read(text), {}, "").size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void emit_plain(benchmark::State& state) {
  const std::string& text = bundle_text();
  for (auto _ : state) benchmark::DoNotOptimize(brenvale::emit_plain(read(text)).size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void emit_zod(benchmark::State& state) {
  const std::string& text = bundle_text();
  for (auto _ : state) {
    benchmark::DoNotOptimize(brenvale::emit_zod_module(read(text), "./contract").size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void compat_same(benchmark::State& state) {
  const std::string& text = bundle_text();
  for (auto _ : state) {
    const brenvale::Contract old_contract = read(text);
    const brenvale::Contract new_contract = read(text);
    std::vector<brenvale::compat::Finding> findings;
    brenvale::compat::diff(old_contract, new_contract, nullptr, findings);
    benchmark::DoNotOptimize(brenvale::compat::findings_json(findings).size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}

// The rule set the command line compares with, on models already read.
void compat_rules_same(benchmark::State& state) {
  const std::string& text = bundle_text();
  const brenvale::Contract old_contract = read(text);
  const brenvale::Contract new_contract = read(text);
  for (auto _ : state) {
    std::vector<brenvale::compat::Finding> findings;
    brenvale::compat::rule_findings(old_contract, new_contract, nullptr, findings);
    benchmark::DoNotOptimize(findings.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}

BENCHMARK(bare_sax)->Unit(benchmark::kMicrosecond);
BENCHMARK(bare_sax_in_place)->Unit(benchmark::kMicrosecond);
BENCHMARK(parse_only)->Unit(benchmark::kMicrosecond);
BENCHMARK(model_only)->Unit(benchmark::kMicrosecond);
BENCHMARK(emit)->Unit(benchmark::kMicrosecond);
BENCHMARK(emit_plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(emit_zod)->Unit(benchmark::kMicrosecond);
BENCHMARK(compat_same)->Unit(benchmark::kMicrosecond);
BENCHMARK(compat_rules_same)->Unit(benchmark::kMicrosecond);

// Prints each benchmark's time as a multiple of the bare SAX pass.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const double seconds = run.GetAdjustedRealTime();
      if (run.benchmark_name() == "bare_sax") sax_ = seconds;
      if (sax_ > 0)
        ratios_ += run.benchmark_name() +
                   " / bare_sax = " + std::to_string(seconds / sax_).substr(0, 5) + "x\n";
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%s", ratios_.c_str());
  }

 private:
  double sax_ = 0;
  std::string ratios_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("bundle: %.1f MB\n", static_cast<double>(bundle_text().size()) / 1e6);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
