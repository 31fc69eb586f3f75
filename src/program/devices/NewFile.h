#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace velomire::program {

// A file that is written under a hidden temporary name beside its target and takes the target's
// name only once it is complete. The temporary file is created exclusively (O_CREAT | O_EXCL |
// O_NOFOLLOW): a file or a link already under that name is never opened, so nothing planted in
// the directory can send the bytes elsewhere. Until Finish names it, the file is removed when
// the NewFile goes (a failure, a cancel, a stop signal that unwinds).
class NewFile {
public:
    explicit NewFile(std::filesystem::path target);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Creates the temporary file; false, with Error(), when the directory takes none.
    bool Open();
    // The open file's descriptor (-1 before Open or after Finish), for a library that writes
    // through one; it stays owned by this object.
    int Descriptor() const { return descriptor; }
    // Writes every byte; false, with Error(), when the file did not take them all.
    bool Write(std::span<const std::uint8_t> bytes);

    enum class Named { done, taken, failed };
    // Closes the file and gives it the target's name. Without `replace` only where nothing of
    // that name exists (taken: the temporary file is removed, whatever is there stays); with it,
    // in place of the file or link there, never writing through the link.
    Named Finish(bool replace);

    // The system's reason of the last failure ("Permission denied").
    const std::string& Error() const { return error; }
    const std::filesystem::path& TemporaryPath() const { return temporary; }

private:
    void Close();

    std::filesystem::path target;
    std::filesystem::path temporary;
    int descriptor = -1;
    bool named = false;
    std::string error;
};

} // namespace velomire::program
