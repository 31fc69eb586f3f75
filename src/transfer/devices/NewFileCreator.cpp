#include "transfer/devices/NewFileCreator.h"

#include "program/devices/NewFile.h"

namespace velomire::transfer {

namespace fs = std::filesystem;

bool NewFileCreator::Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

FileCreator::Created NewFileCreator::Create(const fs::path& path,
                                            std::span<const std::uint8_t> bytes,
                                            std::string& error) {
    program::NewFile file(path);
    if (!file.Open() || !file.Write(bytes)) {
        error = file.Error();
        return Created::failed;
    }
    switch (file.Finish(false)) {
    case program::NewFile::Named::done:
        return Created::done;
    case program::NewFile::Named::taken:
        return Created::taken;
    case program::NewFile::Named::failed:
        break;
    }
    error = file.Error();
    return Created::failed;
}

} // namespace velomire::transfer
