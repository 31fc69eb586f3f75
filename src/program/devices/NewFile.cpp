#include "program/devices/NewFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velomire::program {
namespace {

namespace fs = std::filesystem;

// Names tried before giving up on a directory that holds every one of them.
constexpr int maxTries = 100;
// Bytes of the target's name kept in the temporary name, which must stay under the system's
// limit of a name (255 bytes) whatever the target is called.
constexpr std::size_t keptNameBytes = 64;

std::string Reason(int number) {
    return std::error_code(number != 0 ? number : EIO, std::generic_category()).message();
}

fs::path TemporaryName(const fs::path& target, std::uint32_t random) {
    std::string name = target.filename().string();
    if (name.size() > keptNameBytes) {
        name = "velomire";
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06x.part", static_cast<unsigned>(random & 0xFFFFFF));
    return target.parent_path() / ("." + name + suffix);
}

int CreateExclusive(const fs::path& path) {
#ifdef _WIN32
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
}

int CloseDescriptor(int descriptor) {
#ifdef _WIN32
    return _close(descriptor);
#else
    return close(descriptor);
#endif
}

// Gives `from` the name `to` only where no file or link of that name exists: 0, or errno.
int RenameNoReplace(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    // Windows' own rename never replaces.
    return _wrename(from.c_str(), to.c_str()) == 0 ? 0 : (errno == EACCES ? EEXIST : errno);
#else
    // A second link to the file fails where the name is taken, a dangling link included.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST) {
        return EEXIST;
    }
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
#endif
    // A file system with neither hard links nor an exclusive rename: look, then rename.
    struct stat existing {};
    if (lstat(to.c_str(), &existing) == 0) {
        return EEXIST;
    }
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

} // namespace

NewFile::NewFile(fs::path target) : target(std::move(target)) {}

NewFile::~NewFile() {
    Close();
    if (!named && !temporary.empty()) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
}

bool NewFile::Open() {
    std::random_device random;
    for (int attempt = 0; attempt < maxTries; ++attempt) {
        const fs::path candidate = TemporaryName(target, random());
        errno = 0;
        descriptor = CreateExclusive(candidate);
        if (descriptor >= 0) {
            temporary = candidate;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = Reason(errno);
    return false;
}

bool NewFile::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        if (descriptor < 0) {
            error = Reason(EBADF);
            return false;
        }
        errno = 0;
#ifdef _WIN32
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int written = _write(descriptor, bytes.data(), static_cast<unsigned>(chunk));
#else
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
#endif
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            error = Reason(written == 0 ? ENOSPC : errno);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

void NewFile::Close() {
    if (descriptor >= 0) {
        errno = 0;
        if (CloseDescriptor(descriptor) != 0 && error.empty()) {
            error = Reason(errno);
        }
        descriptor = -1;
    }
}

NewFile::Named NewFile::Finish(bool replace) {
    if (temporary.empty()) {
        return Named::failed;
    }
    error.clear();
    Close();
    if (!error.empty()) {
        return Named::failed; // the close reported a write that did not reach the disk
    }
    if (replace) {
        std::error_code ec;
        fs::rename(temporary, target, ec);
        if (ec) {
            error = ec.message();
            return Named::failed;
        }
        named = true;
        return Named::done;
    }
    const int result = RenameNoReplace(temporary, target);
    if (result == 0) {
        named = true;
        return Named::done;
    }
    error = Reason(result);
    return result == EEXIST ? Named::taken : Named::failed;
}

} // namespace velomire::program
