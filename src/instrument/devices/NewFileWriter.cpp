#include "instrument/devices/NewFileWriter.h"

#include "program/devices/NewFile.h"

namespace velomire::instrument {

NewFileWriter DiskNewFileWriter() {
    return [](const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
        program::NewFile out(file);
        if (!out.Open() || !out.Write(bytes)) {
            return program::Status::Error("Error: Can't write File !",
                                          file.string() + ": " + out.Error());
        }
        switch (out.Finish(false)) {
        case program::NewFile::Named::done:
            return program::Status{};
        case program::NewFile::Named::taken:
            return program::Status::Error("exists already; nothing was written over it");
        case program::NewFile::Named::failed:
            break;
        }
        return program::Status::Error("Error: Can't write File !",
                                      file.string() + ": " + out.Error());
    };
}

} // namespace velomire::instrument
