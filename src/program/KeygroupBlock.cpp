#include "program/KeygroupBlock.h"

namespace velomire::program {

void KeygroupBlock::Read(ByteReader& in) {
    lowKey = in.I16();
    highKey = in.I16();
    keygroupTune = in.I32();
    for (auto& word : keygroupWords) {
        word = in.I16();
    }
    output = in.I16();
    velocityLow = in.I16();
    velocityHigh = in.I16();
    in.Bytes(padding);
    velocityTune = in.I32();
    for (auto& word : velocityWords) {
        word = in.I16();
    }
}

void KeygroupBlock::Write(ByteWriter& out) const {
    out.I16(lowKey);
    out.I16(highKey);
    out.I32(keygroupTune);
    for (auto word : keygroupWords) {
        out.I16(word);
    }
    out.I16(output);
    out.I16(velocityLow);
    out.I16(velocityHigh);
    out.Bytes(padding);
    out.I32(velocityTune);
    for (auto word : velocityWords) {
        out.I16(word);
    }
}

} // namespace velomire::program
