// Words per second of the sample-word encodings, one message-sized batch at a time as the
// senders pack them: 40 words per Sample Dump Standard packet, 60 per S900 data piece.
#include "transfer/SysExBuffer.h"
#include "transfer/WaitClock.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using velomire::transfer::SteadyWaitClock;
using velomire::transfer::SysExBuffer;

constexpr int sdsPacketWords = 40;
constexpr int s900PieceWords = 60;

template <typename Encode> void EncodeBatches(benchmark::State& state, int words, Encode encode) {
    SteadyWaitClock clock;
    SysExBuffer buffer(clock);
    // A ramp, so the encodings see changing bits; the step is odd to reach every low bit.
    std::uint16_t word = 0;
    for (auto _ : state) {
        buffer.Clear();
        for (int i = 0; i < words; ++i) {
            encode(buffer, word);
            word = static_cast<std::uint16_t>(word + 0x0123);
        }
        benchmark::DoNotOptimize(buffer.Bytes().data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * words);
}

void BM_Sample12PerS900Piece(benchmark::State& state) {
    EncodeBatches(state, s900PieceWords,
                  [](SysExBuffer& buffer, std::uint16_t word) { buffer.AppendSample12(word); });
}

void BM_Sample16PerSdsPacket(benchmark::State& state) {
    EncodeBatches(state, sdsPacketWords,
                  [](SysExBuffer& buffer, std::uint16_t word) { buffer.AppendSample16(word); });
}

void BM_Nibbles16PerSdsPacket(benchmark::State& state) {
    EncodeBatches(state, sdsPacketWords,
                  [](SysExBuffer& buffer, std::uint16_t word) { buffer.AppendNibbles(word, 4); });
}

} // namespace

BENCHMARK(BM_Sample12PerS900Piece);
BENCHMARK(BM_Sample16PerSdsPacket);
BENCHMARK(BM_Nibbles16PerSdsPacket);
