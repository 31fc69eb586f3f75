#include "program/OpenSample.h"

#include "program/AddSample.h"
#include "program/WavInfo.h"

#include <system_error>

namespace velomire::program {

std::string SampleFileName(const std::filesystem::path& wavPath) {
    std::string lowerCaseName = wavPath.stem().string() + ".wav";
    const std::filesystem::path candidate = wavPath.parent_path() / lowerCaseName;
    std::error_code ec;
    if (wavPath.filename() == lowerCaseName ||
        std::filesystem::equivalent(candidate, wavPath, ec)) {
        return lowerCaseName;
    }
    return wavPath.filename().string();
}

std::optional<std::string> OpenSample(Program& program, const std::filesystem::path& wavPath,
                                      UserMessages& messages) {
    const std::string fileName = SampleFileName(wavPath);
    if (fileName.size() > Program::fileNameChars) {
        messages.Show("Error: Sample file names are limited to 39 characters !",
                      wavPath.filename().string());
        return std::nullopt;
    }

    // The file is read before anything changes: a refused one leaves the program as it was.
    {
        WavInfo wav(messages);
        if (!wav.Open(wavPath.string())) {
            return std::nullopt;
        }
    }
    // The row is made from the file as the program names it, from its own directory.
    const std::string title = program.SetProgramPath(wavPath, true);
    AddSample(program, fileName, messages);
    return title;
}

} // namespace velomire::program
