// List generation, lines per second: the fast builder side by side with the
// straightforward line-by-line one, into a sink that only counts bytes and
// into one that appends every line to a text.

#include "core/ImeiList.h"
#include "tests/core/ReferenceList.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace {

using kestrino::ProgressSink;

class CountingSink final : public ProgressSink {
public:
    std::uint64_t bytes = 0;
    std::int32_t done = 0;
    void AddLine(std::string_view line) override { bytes += line.size(); }
    void LinesDone(std::int32_t count) override { done = count; }
};

// What the save path does: one text with CR LF after each line.
class AppendingSink final : public ProgressSink {
public:
    std::string text;
    std::int32_t done = 0;
    void AddLine(std::string_view line) override {
        text += line;
        text += "\r\n";
    }
    void LinesDone(std::int32_t count) override { done = count; }
};

constexpr std::string_view kFirstBody = "35851102000002";

template <typename Sink, void (*Build)(std::string_view, std::int32_t, ProgressSink&)>
void BM_List(benchmark::State& state) {
    const auto quantity = static_cast<std::int32_t>(state.range(0));
    Sink sink;
    for (auto _ : state) {
        if constexpr (requires { sink.text; }) sink.text.clear();
        Build(kFirstBody, quantity, sink);
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * quantity);
}

constexpr auto kFast = &kestrino::BuildImeiList;
constexpr auto kReference = &kestrino::reference::BuildImeiList;

BENCHMARK(BM_List<CountingSink, kFast>)->Name("Fast/CountingSink")->Arg(1'000'000);
BENCHMARK(BM_List<CountingSink, kReference>)->Name("Reference/CountingSink")->Arg(100'000);
BENCHMARK(BM_List<AppendingSink, kFast>)->Name("Fast/AppendingSink")->Arg(1'000'000);
BENCHMARK(BM_List<AppendingSink, kReference>)->Name("Reference/AppendingSink")->Arg(100'000);

}  // namespace
