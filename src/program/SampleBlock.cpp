#include "program/SampleBlock.h"

namespace velomire::program {

void SampleBlock::Read(ByteReader& in) {
    in.Bytes(fileName);
    bits = in.U16();
    channels = in.U16();
    sampleRate = in.U32();
    samplePeriodNs = in.U32();
    frameCount = in.U32();
    soundStart = in.U32();
    soundEnd = in.U32();
    s900RightLoopShift = in.U32();
    sendMode = in.I16();
    dataSent = in.U8();
    padding1 = in.U8();
    for (auto& number : samplerSampleNumber) {
        number = in.I16();
    }
    bandwidth = in.I16();
    rootKey = in.I16();
    in.Bytes(sampleName);
    headerValid = in.I16();
    loopCount = in.I16();
    loopMode = in.I16();
    tuneOffset = in.I32();
    waveAddress = in.U32();
    lengthWords = in.U32();
    startPoint = in.U32();
    endPoint = in.U32();
    for (auto* loopArray : {&loopAt, &loopLength, &loopDwell}) {
        for (auto& value : *loopArray) {
            value = in.U32();
        }
    }
    headerRate = in.U32();
    headerSpare = in.I16();
    in.Bytes(padding2);
}

void SampleBlock::Write(ByteWriter& out) const {
    out.Bytes(fileName);
    out.U16(bits);
    out.U16(channels);
    out.U32(sampleRate);
    out.U32(samplePeriodNs);
    out.U32(frameCount);
    out.U32(soundStart);
    out.U32(soundEnd);
    out.U32(s900RightLoopShift);
    out.I16(sendMode);
    out.U8(dataSent);
    out.U8(padding1);
    for (auto number : samplerSampleNumber) {
        out.I16(number);
    }
    out.I16(bandwidth);
    out.I16(rootKey);
    out.Bytes(sampleName);
    out.I16(headerValid);
    out.I16(loopCount);
    out.I16(loopMode);
    out.I32(tuneOffset);
    out.U32(waveAddress);
    out.U32(lengthWords);
    out.U32(startPoint);
    out.U32(endPoint);
    for (const auto* loopArray : {&loopAt, &loopLength, &loopDwell}) {
        for (auto value : *loopArray) {
            out.U32(value);
        }
    }
    out.U32(headerRate);
    out.I16(headerSpare);
    out.Bytes(padding2);
}

} // namespace velomire::program
