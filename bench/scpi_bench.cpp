// Cost of the worst lines a remote client can send, each as long as a line
// may be (64 KiB): the parser alone and a session running the line through a
// small command table. (a) 10 000 identity queries, refused whole for their
// number; (b) 64 commands, each with a quoted string of about 1000 bytes;
// (c) junk letters and colons, one header. Target: each under 5 ms.
// Run: build/bench/scpi_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "remote/ScpiParser.h"
#include "remote/ScpiSession.h"

using namespace varmolen::scpi;

namespace {

std::string manyQueries()
{
    std::string line;
    while (line.size() + 6 <= kMaxLineBytes)
        line += "*IDN?;";
    return line;
}

std::string longStrings()
{
    const std::string text(1000, 'x');
    std::string line;
    for (std::size_t i = 0; i < kMaxCommandsPerLine; ++i)
        line += (i == 0 ? "" : ";") + std::string("LABel \"") + text + "\"";
    return line;
}

std::string junk()
{
    std::mt19937 random(20261208);
    std::string line(kMaxLineBytes, 'a');
    for (char& c : line)
        c = random() % 8 == 0 ? ':' : static_cast<char>('a' + random() % 26);
    line.front() = 'a';
    return line;
}

std::string lineOf(int which)
{
    switch (which) {
        case 0:
            return manyQueries();
        case 1:
            return longStrings();
        default:
            return junk();
    }
}

const char* const kNames[] = {"10000 *IDN?", "64 x 1000-byte strings", "junk letters and colons"};

void BM_ParseLine(benchmark::State& st)
{
    const std::string line = lineOf(static_cast<int>(st.range(0)));
    st.SetLabel(kNames[st.range(0)]);
    for (auto _ : st)
        benchmark::DoNotOptimize(parseLine(line));
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * line.size()));
}
BENCHMARK(BM_ParseLine)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_SessionLine(benchmark::State& st)
{
    const std::string line = lineOf(static_cast<int>(st.range(0)));
    st.SetLabel(kNames[st.range(0)]);
    std::string label;
    CommandTable table;
    table.add({
        {"*IDN?", 0, [](Call& c) { c.reply("V,M,0,1"); }},
        {"LABel", 1,
         [&label](Call& c) {
             if (auto text = c.string(0))
                 label = std::move(*text);
         }},
    });
    Session session(table);
    for (auto _ : st) {
        benchmark::DoNotOptimize(session.handleLine(line));
        session.errors().clear();
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * line.size()));
}
BENCHMARK(BM_SessionLine)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
