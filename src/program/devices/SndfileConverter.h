#pragma once

#include "program/SampleConverter.h"

namespace velomire::program {

// Reads every format libsndfile knows (WAV of any width, float WAV, WAVE_FORMAT_EXTENSIBLE,
// AIFF/AIFC, FLAC, Ogg Vorbis...) and writes 16-bit PCM WAV, resampling through libsoxr at its
// very high quality setting when another rate is asked for. The file's loops and key data
// (libsndfile's instrument: "smpl"/"inst" in WAV, MARK/INST in AIFF) are carried over, their
// frames scaled by the rate change.
class SndfileConverter : public SampleConverter {
public:
    std::optional<SoundFormat> Probe(const std::filesystem::path& source) override;
    ConvertOutcome Convert(const std::filesystem::path& source, const std::filesystem::path& target,
                           const ConvertOptions& options,
                           const std::function<bool(double)>& progress) override;
};

} // namespace velomire::program
