#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace velomire::program {

// One row of the Select Samples dialog's right list: an existing row of the program (its index
// and sample name) or a file added while the dialog is open (index -1, no name).
struct PendingEntry {
    std::int32_t index = -1;
    std::string name;
    std::string file;
    // The file's full path when it lies in another folder; it is copied into the program's
    // directory on OK.
    std::string source;
};

// The program's sample list as it will be after the Select Samples dialog's OK: filled from the
// program, edited by the dialog's buttons, and applied to the program when the dialog accepted.
class PendingSamples {
public:
    // Entry i = {i, sampleName, fileName} for every row of the program.
    void FillFrom(const Program& program);

    int Count() const { return static_cast<int>(entries.size()); }
    const PendingEntry& At(int i) const { return entries.at(static_cast<std::size_t>(i)); }

    // Appends the files in order. A file the list holds already is skipped; the skipped files are
    // named in one message. When a file is left over once the list holds 40 entries, shows
    // "Error : Maximum number of Samples (40) reached" once and ignores the rest. A name of 40
    // characters or more cannot be stored in a sample entry and is skipped.
    // Files of another folder than the program's come with that folder (`from`).
    void Add(const std::vector<std::string>& files, UserMessages& messages,
             const std::filesystem::path& from = {});

    // Deletes those rows, from the last to the first; rows out of range and repeated rows are
    // ignored.
    void Remove(std::vector<int> rows);

    // Gives entry i another file (the converted or copied file of the one chosen), in the
    // program's directory.
    void SetFile(int i, std::string file) {
        PendingEntry& entry = entries.at(static_cast<std::size_t>(i));
        entry.file = std::move(file);
        entry.source.clear();
    }

    // "kick.wav [Kick]", "kick.wav []  from /home/me/drums" for a file of another folder
    static std::string ListLine(const PendingEntry& e);

    // Brings the program in line with the list: removes the rows no entry carries (from the last
    // to the first), then appends the new files in list order, each opened and checked by the WAV
    // reader (a refused file shows the reader's message and is skipped). True when anything was
    // removed or added.
    bool ApplyTo(Program& program, UserMessages& messages) const;

private:
    std::vector<PendingEntry> entries;
};

} // namespace velomire::program
