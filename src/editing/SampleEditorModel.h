#pragma once

#include "editing/Spin.h"
#include "program/KeygroupBlock.h"
#include "program/SampleBlock.h"
#include "transfer/SamplerModel.h"

#include <optional>
#include <string>
#include <vector>

namespace velomire::editing {

// The Sample Editor's rules on the working copy of one row: key range, pitch, send mode and
// output. Every call changes the blocks at once; there is nothing to commit or cancel. Keys a
// program file from elsewhere holds outside 24..127 stay as they are until the user changes them.
class SampleEditorModel {
public:
    static constexpr int lowestKey = 24;
    static constexpr int highestKey = 127;
    static constexpr int outputCount = 8;

    // `samplerModel` (SamplerModel numbering) decides what the output list offers.
    SampleEditorModel(program::SampleBlock& sample, program::KeygroupBlock& keygroup,
                      std::int32_t samplerModel = transfer::SamplerModel::none);

    // "Parameters  -  " followed by the file name.
    std::string Caption() const;

    int LowKey() const { return keygroup.lowKey; }
    int HighKey() const { return keygroup.highKey; }
    int Pitch() const { return sample.rootKey; }
    std::string LowText() const;
    std::string HighText() const;
    std::string PitchText() const;

    // One step up or down, then kept within 24..127 and low <= high. The pitch never follows.
    void LowSpin(Spin step);
    void HighSpin(Spin step);
    void PitchSpin(Spin step);
    // A typed note, kept within the same bounds as a step.
    void TypeLowKey(int note);
    void TypeHighKey(int note);
    void TypePitch(int note);

    // A left click on note (from KeyboardGeometry) sets the low key, a right click the high key,
    // never past the other key; when both keys become one, the pitch becomes that key too.
    void PickLowKey(int note);
    void PickHighKey(int note);

    // "Mono sound" for a mono file; also the left, right and stereo modes for a stereo file. The
    // list index is the send mode.
    std::vector<std::string> SendModeTexts() const;
    // The send mode's entry; none when the stored mode is beyond the entries offered.
    std::optional<int> SendModeSelection() const;
    // A picked entry of the send mode list; false (and no change) for an index outside the list.
    // The output list must be filled again afterwards in every case.
    bool PickSendMode(int index);

    // "Ch 1" to "Ch 8", or for stereo the pairs "Ch 1-2" to "Ch 7-8". On a model that plays
    // every entry on all its voices (the S900/S950) the one entry "All voices".
    std::vector<std::string> OutputTexts() const;
    // Whether the output is sent at all; when not, the stored output stays as it is, for a model
    // that sends it.
    bool OutputSent() const { return !allVoices; }
    // The output's entry (its pair's for stereo, which is stored as the even output); none when
    // the stored value names no entry.
    std::optional<int> OutputSelection() const;
    // A picked entry of the output list; false (and no change) for an index outside the list.
    bool PickOutput(int index);

private:
    bool Stereo() const { return sample.sendMode >= program::sendStereo; }

    program::SampleBlock& sample;
    program::KeygroupBlock& keygroup;
    bool allVoices;
};

} // namespace velomire::editing
