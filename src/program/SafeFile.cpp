#include "program/SafeFile.h"

#include <cerrno>
#include <fstream>
#include <random>
#include <system_error>

namespace velomire::program {
namespace {

namespace fs = std::filesystem;

const std::string cantOpen{cantOpenFile};
const std::string cantWrite = "Error: Can't write File !";

std::string LastSystemReason() {
    const int error = errno;
    return std::error_code(error != 0 ? error : EIO, std::generic_category()).message();
}

enum class Written { all, notOpened, cutShort };

// Writes every byte to `path`, creating or truncating it; the system's reason on failure.
Written WriteAll(const fs::path& path, std::span<const std::uint8_t> bytes, std::string& reason) {
    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        reason = LastSystemReason();
        return Written::notOpened;
    }
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        reason = LastSystemReason();
        return Written::cutShort;
    }
    return Written::all;
}

// "path: reason", the detail of a refusal; empty when the system gave no reason.
std::string SystemDetail(const fs::path& path, const std::string& reason) {
    return reason.empty() ? std::string() : path.string() + ": " + reason;
}

} // namespace

bool IsRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

FileResult ReadRegularFile(const fs::path& path, std::uintmax_t maxSize,
                           const std::string& tooLarge, std::vector<std::uint8_t>& bytes) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) {
        return FileResult::Error(cantOpen, SystemDetail(path, ec.message()));
    }
    if (!fs::is_regular_file(status)) {
        return FileResult::Error(cantOpen, SystemDetail(path, "not a regular file"));
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        return FileResult::Error(cantOpen, SystemDetail(path, ec.message()));
    }
    if (size > maxSize) {
        return FileResult::Error(tooLarge);
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return FileResult::Error(cantOpen, SystemDetail(path, LastSystemReason()));
    }
    bytes.assign(static_cast<std::size_t>(size), 0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.gcount() != static_cast<std::streamsize>(bytes.size())) {
        return FileResult::Error("Error: Can't read File !",
                                 SystemDetail(path, LastSystemReason()));
    }
    return {};
}

FileResult ReplaceFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::error_code ec;
    // Through a link, the file it names is the one replaced.
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path resolved = fs::canonical(path, ec);
        if (!ec) {
            target = resolved;
        }
    }
    const fs::file_status old = fs::status(target, ec);
    const bool exists = !ec && fs::exists(old);
    if (exists && !fs::is_regular_file(old)) {
        return FileResult::Error(cantWrite, SystemDetail(path, "not a regular file"));
    }

    std::random_device random;
    fs::path temporary = target;
    temporary += ".saving-" + std::to_string(random() % 1000000);
    std::string reason;
    const Written toTemporary = WriteAll(temporary, bytes, reason);
    if (toTemporary == Written::all) {
        if (exists) {
            fs::permissions(temporary, old.permissions(), fs::perm_options::replace, ec);
        }
        fs::rename(temporary, target, ec);
        if (!ec) {
            return {};
        }
        reason = ec.message();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return FileResult::Error(cantWrite, SystemDetail(path, reason));
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    // A temporary file that could not take every byte (a full disk, a size limit) tells that the
    // file itself would not either.
    if (!exists || toTemporary == Written::cutShort) {
        return FileResult::Error(cantWrite, SystemDetail(path, reason));
    }

    // The folder takes no new file (read-only, or no room for the longer name): write the file
    // itself, keeping its old bytes to put back.
    std::vector<std::uint8_t> previous;
    if (!ReadRegularFile(target, fs::file_size(target, ec), {}, previous)) {
        return FileResult::Error(cantWrite, SystemDetail(path, reason));
    }
    if (WriteAll(target, bytes, reason) == Written::all) {
        return {};
    }
    std::string ignoredReason;
    WriteAll(target, previous, ignoredReason);
    return FileResult::Error(cantWrite, SystemDetail(path, reason));
}

} // namespace velomire::program
