#include "program/AddSample.h"

#include "program/SampleChunks.h"
#include "program/WavInfo.h"

namespace velomire::program {

bool AddSample(Program& program, const std::string& fileName, UserMessages& messages) {
    if (program.sampleCount >= Program::maxSamples) {
        messages.Show("Error : Maximum number of Samples (40) reached", appCaption);
        return false;
    }
    if (fileName.size() > Program::fileNameChars) {
        messages.Show("Error: Sample file names are limited to 39 characters !", fileName);
        return false;
    }
    WavInfo wav(messages);
    if (!wav.Open(program.SampleFilePath(fileName), fileName)) {
        return false;
    }
    program.InitSampleEntry(program.sampleCount, fileName, wav);
    ApplySampleChunks(wav.Chunks(), program.samples[static_cast<std::size_t>(program.sampleCount)]);
    wav.Close();
    ++program.sampleCount;
    return true;
}

} // namespace velomire::program
