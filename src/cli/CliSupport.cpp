#include "cli/CliSupport.h"

#include "cli/CliApp.h"
#include "cli/StderrMessages.h"
#include "program/Program.h"
#include "transfer/IniSettingsStore.h" // DefaultPath
#include "transfer/OffPitch.h"
#include "transfer/SamplerSettings.h" // ParseDecimal
#ifdef VELOMIRE_CLI_QT_SETTINGS
#include "transfer/ui/QtSettingsStore.h"
#endif

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velomire::cli {

namespace fs = std::filesystem;

int Refused(const std::string& message) {
    WipeProgressLine();
    std::cerr << messagePrefix << TerminalText(message) << '\n';
    return exitRefused;
}

std::optional<std::int32_t> ParseWhole(const std::string& text) {
    return transfer::ParseDecimal(text);
}

std::optional<std::set<int>> ParseList(const std::string& text) {
    std::set<int> numbers;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const auto number = ParseWhole(text.substr(start, comma - start));
        if (!number || *number < 0) {
            return std::nullopt;
        }
        numbers.insert(*number);
        start = comma + 1;
    }
    return numbers;
}

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<int> FindPort(const std::vector<std::string>& names, const std::string& wanted) {
    if (const auto index = ParseWhole(wanted)) {
        if (*index >= 0 && static_cast<std::size_t>(*index) < names.size()) {
            return *index;
        }
        return std::nullopt;
    }
    std::optional<int> found;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (SameTextIgnoringCase(names[i], wanted)) {
            return static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].find(wanted) != std::string::npos) {
            if (found) {
                return std::nullopt;
            }
            found = static_cast<int>(i);
        }
    }
    return found;
}

std::atomic<int> stopSignal{0};

namespace {

#ifndef _WIN32
// How long a send may take to end after the user asked it to stop. It ends at its next wait, once
// the message on its way has left (an S950 program takes 3.6 s on the wire), unless a call into
// the MIDI system never comes back.
constexpr unsigned stopGraceSeconds = 10;

extern "C" void OnStopOverdue(int) {
    static constexpr char text[] =
        "velomire-cli: stopped without waiting any longer for the MIDI system to answer\n";
    [[maybe_unused]] const auto written = write(STDERR_FILENO, text, sizeof text - 1);
    _exit(128 + stopSignal.load());
}
#endif

extern "C" void OnStopSignal(int signal) {
    if (stopSignal.exchange(signal) != 0) {
        // Asked twice: the user wants out now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
#ifndef _WIN32
    // The send stops at its next wait; should it be held in a call that never returns, the
    // command still ends.
    std::signal(SIGALRM, OnStopOverdue);
    alarm(stopGraceSeconds);
#endif
}

} // namespace

StopSignalsCancel::StopSignalsCancel() {
    stopSignal = 0;
    previousInt = std::signal(SIGINT, OnStopSignal);
    previousTerm = std::signal(SIGTERM, OnStopSignal);
}

StopSignalsCancel::~StopSignalsCancel() {
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
}

std::string FileProblem(const std::string& given, const program::FileResult& result) {
    std::string text = given + ": " + result.text;
    if (!result.detail.empty()) {
        text += " (" + result.detail + ")";
    }
    return text;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

std::optional<std::string> ProtectedTarget(const fs::path& target, bool wantProgram) {
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        return ec.message();
    }
    if (!fs::exists(status)) {
        return std::nullopt;
    }
    if (!fs::is_regular_file(status)) {
        return "exists and is not a regular file";
    }
    // A SysEx dump (an earlier render) starts with F0; the loader, which takes any leading text,
    // could otherwise read one as a program.
    std::ifstream probe(target, std::ios::binary);
    const bool sysEx = probe.get() == 0xF0;
    auto existing = std::make_unique<program::Program>();
    const bool holdsProgram =
        !sysEx && static_cast<bool>(program::ProgramFile::LoadFile(target, *existing));
    if (wantProgram && !holdsProgram) {
        return "exists and is not a program file";
    }
    if (!wantProgram && holdsProgram) {
        return "is a program file";
    }
    return std::nullopt;
}

void ResolveEnvironmentPaths() {
    for (const char* name : {"VELOMIRE_SETTINGS_FILE", "XDG_CONFIG_HOME"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0' || fs::path(value).is_absolute()) {
            continue;
        }
        std::error_code ec;
        const fs::path absolute = fs::absolute(value, ec);
        if (!ec) {
#ifdef _WIN32
            _putenv_s(name, absolute.string().c_str());
#else
            setenv(name, absolute.c_str(), 1);
#endif
        }
    }
}

std::optional<std::string> SettingsFileProblem() {
    const fs::path path = transfer::IniSettingsStore::DefaultPath();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return path.string() + ": the settings file is not a regular file";
    }
    return std::nullopt;
}

transfer::SamplerSettings ReadSavedSettings() {
#ifdef VELOMIRE_CLI_QT_SETTINGS
    transfer::QtSettingsStore store;
#else
    transfer::IniSettingsStore store(transfer::IniSettingsStore::DefaultPath());
#endif
    transfer::SettingsReader reader(store);
    transfer::SamplerSettings settings = transfer::SamplerSettings::Read(reader);
    // The values refused are left at their defaults.
    if (const std::string warning = reader.Warning(); !warning.empty()) {
        std::cerr << "velomire-cli: warning: " << TerminalText(warning) << '\n';
    }
    return settings;
}

int WarnOffPitch(const program::Program& program, std::int32_t model, bool allowed) {
    const auto warnings = transfer::OffPitchWarnings(program, model);
    for (const std::string& warning : warnings) {
        std::cerr << "velomire-cli: warning: " << TerminalText(warning) << '\n';
    }
    return warnings.empty() || allowed ? exitOk : exitWarning;
}

} // namespace velomire::cli
