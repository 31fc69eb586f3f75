#pragma once

#include "transfer/ReceivedFiles.h"

namespace velomire::transfer {

// Files created through program::NewFile: under a temporary name, renamed only where nothing of
// that name exists, never written through a link.
class NewFileCreator : public FileCreator {
public:
    bool Exists(const std::filesystem::path& path) override;
    Created Create(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                   std::string& error) override;
};

} // namespace velomire::transfer
