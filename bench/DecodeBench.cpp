// `velomire-cli decode` on dumps of 1 MB and 10 MB, as the decoder takes them (64 KB pieces, what
// is closed taken after each): a dump of nothing but 21-byte SDS Dump Headers, and SDS samples of
// 8,000 words. Goal: linear time, the same bytes per second at both sizes (the work per message
// never grows with what came before), and the items held between pieces at most a few.

#include "transfer/SysExDecoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using velomire::transfer::SysExStreamDecoder;

std::vector<std::uint8_t> Headers(std::size_t bytes) {
    const std::vector<std::uint8_t> header{0xF0, 0x7E, 0x00, 0x01, 0x04, 0x00, 0x10,
                                           0x13, 0x31, 0x01, 0x7F, 0x7F, 0x00, 0x00,
                                           0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xF7};
    std::vector<std::uint8_t> dump;
    while (dump.size() + header.size() <= bytes) {
        dump.insert(dump.end(), header.begin(), header.end());
    }
    return dump;
}

// Samples of 8,000 words (200 packets), each with its Dump Header.
std::vector<std::uint8_t> Samples(std::size_t bytes) {
    std::vector<std::uint8_t> dump;
    while (dump.size() < bytes) {
        const std::vector<std::uint8_t> header{0xF0, 0x7E, 0x00, 0x01, 0x04, 0x00, 0x10,
                                               0x13, 0x31, 0x01, 0x40, 0x3E, 0x00, 0x00,
                                               0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xF7};
        dump.insert(dump.end(), header.begin(), header.end());
        for (int k = 0; k < 200; ++k) {
            std::vector<std::uint8_t> packet(127, 0x40);
            packet[0] = 0xF0;
            packet[1] = 0x7E;
            packet[2] = 0x00;
            packet[3] = 0x02;
            packet[4] = static_cast<std::uint8_t>(k & 0x7F);
            std::uint8_t sum = 0;
            for (std::size_t i = 1; i < 125; ++i) {
                sum ^= packet[i];
            }
            packet[125] = sum;
            packet[126] = 0xF7;
            dump.insert(dump.end(), packet.begin(), packet.end());
        }
    }
    return dump;
}

void Decode(benchmark::State& state, const std::vector<std::uint8_t>& dump) {
    std::size_t held = 0;
    for (auto _ : state) {
        SysExStreamDecoder stream;
        for (std::size_t at = 0; at < dump.size(); at += 1 << 16) {
            stream.Feed(
                std::span(dump).subspan(at, std::min<std::size_t>(1 << 16, dump.size() - at)));
            const auto samples = stream.TakeSamples();
            const auto errors = stream.TakeErrors();
            held = std::max(held, samples.size());
            benchmark::DoNotOptimize(errors.size());
        }
        stream.Finish();
        benchmark::DoNotOptimize(stream.TakeSamples().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * dump.size()));
    state.counters["most samples closed in one piece"] = static_cast<double>(held);
}

void HeadersOnly(benchmark::State& state) {
    Decode(state, Headers(static_cast<std::size_t>(state.range(0)) << 20));
}
void WholeSamples(benchmark::State& state) {
    Decode(state, Samples(static_cast<std::size_t>(state.range(0)) << 20));
}

BENCHMARK(HeadersOnly)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeSamples)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace
