// What `velomire-cli decode` does with a dump, fed in pieces of the sizes the input's first bytes
// choose: the result must not depend on where the pieces were cut, and what is held between
// pieces stays bounded. The seeds hold dumps that carry the same sample numbers twice.

#include "transfer/SysExDecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

using velomire::transfer::DecodeError;
using velomire::transfer::DecodeResult;
using velomire::transfer::SysExStreamDecoder;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameErrors(const std::vector<DecodeError>& a, const std::vector<DecodeError>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.offset == y.offset && x.text == y.text;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Two bytes of piece sizes, then the dump.
    const std::size_t step = data[0] % 61 + 1;
    const std::size_t limit = std::size_t{data[1]} * 64 + 8;
    const std::span<const std::uint8_t> dump(data + 2, size - 2);

    SysExStreamDecoder whole(limit);
    whole.Feed(dump);
    whole.Finish();
    const DecodeResult once{whole.TakeSamples(), whole.TakePrograms(), whole.TakeErrors()};

    SysExStreamDecoder pieces(limit);
    DecodeResult cut;
    for (std::size_t at = 0; at < dump.size(); at += step) {
        pieces.Feed(dump.subspan(at, std::min(step, dump.size() - at)));
        for (auto& sample : pieces.TakeSamples()) {
            Check(sample.hasData && sample.frames.size() <= sample.lengthWords);
            cut.samples.push_back(std::move(sample));
        }
        for (auto& program : pieces.TakePrograms()) {
            Check(program.keygroups.size() <= velomire::transfer::SysExDecoder::maxKeygroups);
            cut.programs.push_back(std::move(program));
        }
        for (auto& error : pieces.TakeErrors()) {
            Check(error.offset < dump.size());
            cut.errors.push_back(std::move(error));
        }
    }
    pieces.Finish();
    for (auto& sample : pieces.TakeSamples()) {
        cut.samples.push_back(std::move(sample));
    }
    for (auto& program : pieces.TakePrograms()) {
        cut.programs.push_back(std::move(program));
    }
    for (auto& error : pieces.TakeErrors()) {
        cut.errors.push_back(std::move(error));
    }

    Check(SameErrors(once.errors, cut.errors));
    Check(once.samples.size() == cut.samples.size());
    for (std::size_t i = 0; i < once.samples.size(); ++i) {
        Check(once.samples[i].number == cut.samples[i].number);
        Check(once.samples[i].frames == cut.samples[i].frames);
    }
    Check(once.programs.size() == cut.programs.size());
    return 0;
}
