#pragma once

#include "program/ProgramFile.h"
#include "program/SampleConverter.h"
#include "transfer/SamplerSettings.h"
#ifdef VELOMIRE_HAVE_SNDFILE
#include "program/devices/SndfileConverter.h"
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velomire::cli {

// A value the command line got wrong, in the words the user reads: thrown from an option's check
// while the options are parsed, and told as a usage error (exit status 2).
class UsageProblem : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#ifdef VELOMIRE_HAVE_SNDFILE
using FileConverter = program::SndfileConverter;
#else
// A build without libsndfile (velomire-cli.exe alone): 16-bit WAV samples only, files of other
// formats are not converted.
class FileConverter : public program::SampleConverter {
public:
    std::optional<program::SoundFormat> Probe(const std::filesystem::path&) override {
        return std::nullopt;
    }
    program::ConvertOutcome Convert(const std::filesystem::path&, const std::filesystem::path&,
                                    const program::ConvertOptions&,
                                    const std::function<bool(double)>&) override {
        return {false, "other sound formats are not converted in this build", {}, 0, 0};
    }
};
#endif

// One line on stderr naming the problem; exit status 1.
int Refused(const std::string& message);

std::optional<std::int32_t> ParseWhole(const std::string& text);

// "3,17,40" as numbers; nothing when any part is not a whole number of 0 or more.
std::optional<std::set<int>> ParseList(const std::string& text);

// A port given by its index, by its whole name, or by a part of its name that only one port has.
std::optional<int> FindPort(const std::vector<std::string>& names, const std::string& wanted);

// How long a port not found is waited for before it is looked for again.
inline constexpr std::chrono::milliseconds portLookAgain{500};

// FindPort among the ports `driver` lists now (left in `names`), and once more after a short
// pause when it is not there: a port that is just appearing (an interface switched on, a JACK
// client starting) or a server busy with another client a moment ago is still found.
template <typename Driver>
std::optional<int> FindPortSoon(Driver& driver, const std::string& wanted,
                                std::vector<std::string>& names) {
    names = driver.PortNames();
    if (const auto found = FindPort(names, wanted)) {
        return found;
    }
    std::this_thread::sleep_for(portLookAgain);
    names = driver.PortNames();
    return FindPort(names, wanted);
}

// "p.vmp: Error: Can't open File ! (/home/ann/p.vmp: Permission denied)"
std::string FileProblem(const std::string& given, const program::FileResult& result);

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Why a file about to be written must be left alone, or nothing. Only a program file (new) or a
// file that holds no program (render) is replaced, never a directory, a FIFO or a device.
std::optional<std::string> ProtectedTarget(const std::filesystem::path& target, bool wantProgram);

// Paths named by the environment are relative to where the user started the command: they are
// made absolute before a command makes a program's directory the working directory.
void ResolveEnvironmentPaths();

// Why the settings file cannot be read, or nothing. A missing file reads as the defaults; a
// FIFO or a device would hold the command forever.
std::optional<std::string> SettingsFileProblem();

// The settings the desktop application saved; their warning, if any, said once on stderr.
transfer::SamplerSettings ReadSavedSettings();

// Names on stderr, one warning line each, the entries the model plays off pitch (their bytes
// went as they are): exitWarning when there is one and `allowed` (--allow-rate) is false,
// exitOk otherwise.
int WarnOffPitch(const program::Program& program, std::int32_t model, bool allowed);

// Writes one decoded sample or program: an error text, empty when written. An exception (the
// JSON library refusing a text) is that item's error, never the end of the run.
template <typename Write> std::string Guarded(Write write) {
    try {
        return write();
    } catch (const std::exception& e) {
        return std::string("a decoded item could not be written: ") + e.what();
    }
}

// The signal that asked a running command to stop (SIGINT or SIGTERM), or 0.
extern std::atomic<int> stopSignal;

// While it lives, SIGINT and SIGTERM cancel the command, as the Cancel button does, instead of
// ending the process in the middle of a message: stopSignal says which one came. Asked twice, the
// process ends at once; held in a call that never returns, it ends a few seconds later.
class StopSignalsCancel {
public:
    StopSignalsCancel();
    ~StopSignalsCancel();
    StopSignalsCancel(const StopSignalsCancel&) = delete;
    StopSignalsCancel& operator=(const StopSignalsCancel&) = delete;

private:
    void (*previousInt)(int);
    void (*previousTerm)(int);
};

} // namespace velomire::cli
