#include "cli/CliApp.h"

#include "cli/CliSendUi.h"
#include "cli/DecodedFiles.h"
#include "cli/ProgramJson.h"
#include "cli/StderrMessages.h"
#include "program/AddSample.h"
#include "program/KeyMapping.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/SampleConverter.h"
#include "program/WavInfo.h"
#ifndef _WIN32
#include "program/devices/SndfileConverter.h"
#endif
#include "transfer/CaptureMidiDriver.h" // StreamMidiDriver
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerModel.h"
#include "transfer/SamplerSettings.h"
#include "transfer/SendCommand.h"
#include "transfer/SysExDecoder.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"
#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiEndpoint.h"
#include "transfer/devices/JackMidiEndpoint.h"
#endif
#include "transfer/IniSettingsStore.h" // DefaultPath
#include "transfer/SamplerService.h"
#ifdef VELOMIRE_CLI_QT_SETTINGS
#include "transfer/ui/QtSettingsStore.h"
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// The Windows build has no libsndfile: files of other formats are not converted there.
class FileConverter : public program::SampleConverter {
public:
    std::optional<program::SoundFormat> Probe(const fs::path&) override { return std::nullopt; }
    program::ConvertOutcome Convert(const fs::path&, const fs::path&,
                                    const program::ConvertOptions&,
                                    const std::function<bool(double)>&) override {
        return {false, "other sound formats are not converted in this build", {}, 0, 0};
    }
};
#else
using FileConverter = program::SndfileConverter;
#endif

const std::array<std::string_view, 7> commandNames = {"info", "new",     "ports", "render",
                                                      "send", "sampler", "decode"};

bool KnownCommand(const std::string& name) {
    return std::find(commandNames.begin(), commandNames.end(), name) != commandNames.end();
}

const char* const usage = R"(usage: velomire-cli COMMAND ...
  --version                     print the version
  info PROGRAM.vmp [--json]     print every stored field of a program
  new PROGRAM.vmp FILE.wav... [--convert [--rate R] [--dither]] [--map-keys]
                                create a program from WAV files of its directory and save it
  ports [--input]               list the MIDI output ports (or the input ports)
  render PROGRAM.vmp --model M -o OUT.syx [numbers] [channels]
                                write the bytes a send would put on the wire, without waits
  send PROGRAM.vmp --model M [--port P] [--reply-port Q [--wait-limit S]] [numbers]
          [channels] [--trace FILE]
                                send the program to a sampler through a MIDI output port
                                (default: the saved Midi Out device, and its Midi In device);
                                with --reply-port, closed-loop: the sampler's answers come in
                                through MIDI input port Q (see ports --input), and a WAIT from
                                the sampler holds the send for at most S seconds (1..3600,
                                default: the saved settings, 60)
  sampler --model M --out DIR [--name NAME] [--nak N,N,...] [--wait N:MS] [--cancel-at N]
          [--lose N] [--reply-delay MS] [--memory-words N] [--one-way] [--jack | --alsa]
          [--force]
                                a simulated sampler with the MIDI ports NAME:in and NAME:out, on
                                JACK when a JACK server runs, otherwise on the ALSA sequencer
                                (--jack or --alsa chooses one); it checks, answers and writes
                                what it receives into DIR, until interrupted; packets are
                                counted from 0 over the run; it has the sample memory of its
                                model, or N words
  decode DUMP.syx --out DIR [--force]
                                rebuild the samples and programs that a render output or a
                                trace dump carries
velomire-cli COMMAND --help describes a command and its options.
exit status: 0 done, 1 refused or failed, 2 usage error, 3 done with a warning to read (a
conversion that clipped, a send that may have arrived damaged), 130 or 143 stopped by SIGINT or
SIGTERM
)";

const char* const modelHelp =
    R"(  --model M               0..9, or a model name: SDS, S900, S950, S1000 (or S1100), S2800,
                          S3000, S3200, S2000, S3000XL, S3200XL, or as Options lists it
                          ("Akai S3000 XL"); letter case and spaces do not matter
)";

const char* const numberHelp =
    R"(  --program-number N      programs already in the sampler (default: as the Send command
                          proposes)
  --sample-number N       samples already in the sampler (default: as the Send command
                          proposes)
  --midi-channel C        1..16 (default: the saved settings)
  --exclusive-channel E   1..128 (default: the saved settings)
)";

// What `velomire-cli COMMAND --help` prints.
std::string CommandHelp(const std::string& command) {
    if (command == "info") {
        return R"(usage: velomire-cli info PROGRAM.vmp [--json]
print every stored field of a program, as text or, with --json, as JSON
)";
    }
    if (command == "new") {
        return R"(usage: velomire-cli new PROGRAM.vmp FILE.wav... [--convert [--rate R] [--dither]]
                        [--map-keys]
create a program from WAV files of the program's directory and save it; refused files are
named and skipped, at most 40 samples are taken
  --convert               convert files of other formats (24-bit or float WAV, AIFF, FLAC, Ogg)
                          into 16-bit WAV files beside them (never over an existing file), of
                          1,000 to 200,000 Hz and at most 16,777,216 frames
  --rate R                rate of the converted files: keep (default), 44100, 22050, or s900
                          (the nearest rate the S900/S950 takes)
  --dither                TPDF dither where the source has more than 16 bits
  --map-keys              read each sample's note from its file name ("Pad_C3", "Str_060") and
                          set the pitches and key ranges
)";
    }
    if (command == "ports") {
        return R"(usage: velomire-cli ports [--input]
list the MIDI output ports with their indices; with --input, the MIDI input ports (where a
sampler's answers come back)
)";
    }
    if (command == "render") {
        return std::string(R"(usage: velomire-cli render PROGRAM.vmp --model M -o OUT.syx [options]
write the bytes a send would put on the wire into OUT.syx, without waits and without a device
)") + modelHelp +
               "  -o OUT.syx              the file to write (an earlier render is replaced)\n" +
               numberHelp;
    }
    if (command == "send") {
        return std::string(
                   R"(usage: velomire-cli send PROGRAM.vmp --model M --port P [--reply-port Q [--wait-limit S]]
                         [options] [--trace FILE]
send the program to a sampler through a MIDI output port, paced at MIDI speed
)") + modelHelp +
               R"(  --port P                a port index, or a part of a port name only one port has
                          (see velomire-cli ports)
  --reply-port Q          closed loop: the sampler's answers come in through MIDI input port Q
                          (see velomire-cli ports --input)
  --wait-limit S          closed loop: a WAIT from the sampler holds the send for at most S
                          seconds, 1..3600 (default: the saved settings, 60)
  --trace FILE            also copy every message sent into FILE
)" + numberHelp;
    }
    if (command == "sampler") {
        return std::string(
                   R"(usage: velomire-cli sampler --model M --out DIR [--name NAME] [--nak N,N,...]
                            [--wait N:MS] [--cancel-at N] [--lose N] [--reply-delay MS]
                            [--one-way] [--jack | --alsa] [--force]
a simulated sampler with the MIDI ports NAME:in and NAME:out, on JACK when a JACK server runs,
otherwise on the ALSA sequencer; it checks, answers and writes what it receives into DIR, until
interrupted
)") + modelHelp +
               R"(  --out DIR               where the received samples and programs are written
  --name NAME             the MIDI client's name (default velomire-sampler)
  --nak N,N,...           answer NAK to these packets once each (counted from 0 over the run)
  --wait N:MS             answer WAIT to packet N, then ACK MS milliseconds later
  --cancel-at N           answer CANCEL to packet N
  --lose N                drop Data Packet N once, as if it was lost on the cable
  --reply-delay MS        delay every answer
  --one-way               never answer
  --jack, --alsa          use only JACK, or only the ALSA sequencer
  --force                 replace the files an earlier decode or sampler left in DIR
)";
    }
    if (command == "decode") {
        return R"(usage: velomire-cli decode DUMP.syx --out DIR [--force]
rebuild the samples (16-bit WAV + JSON) and programs (JSON) that a render output or a trace
dump carries, into DIR; a second sample or program of one number gets files of its own
  --force                 replace the files an earlier decode or sampler left in DIR
)";
    }
    return usage;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

// The options of render and send, each with its value.
struct TransferOptions {
    std::string programPath;
    std::map<std::string, std::string> values;
};

const std::vector<std::string> transferOptionNames = {"--model",
                                                      "-o",
                                                      "--port",
                                                      "--program-number",
                                                      "--sample-number",
                                                      "--midi-channel",
                                                      "--exclusive-channel",
                                                      "--trace",
                                                      "--reply-port",
                                                      "--wait-limit"};

std::optional<std::int32_t> ParseWhole(const std::string& text) {
    return transfer::ParseDecimal(text);
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A port given by its index, by its whole name, or by a part of its name that only one port has.
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

// The signal that asked a running send to stop (SIGINT or SIGTERM), or 0.
std::atomic<int> stopSignal{0};

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

// SIGINT and SIGTERM cancel the send, as the Cancel button does, instead of ending the process
// in the middle of a message.
class StopSignalsCancel {
public:
    StopSignalsCancel() {
        stopSignal = 0;
        previousInt = std::signal(SIGINT, OnStopSignal);
        previousTerm = std::signal(SIGTERM, OnStopSignal);
    }
    ~StopSignalsCancel() {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
    }
    StopSignalsCancel(const StopSignalsCancel&) = delete;
    StopSignalsCancel& operator=(const StopSignalsCancel&) = delete;

private:
    void (*previousInt)(int);
    void (*previousTerm)(int);
};

// Writes one decoded sample or program: an error text, empty when written. An exception (the
// JSON library refusing a text) is that item's error, never the end of the run.
template <typename Write> std::string Guarded(Write write) {
    try {
        return write();
    } catch (const std::exception& e) {
        return std::string("a decoded item could not be written: ") + e.what();
    }
}

int Refused(const std::string& message) {
    std::cerr << messagePrefix << TerminalText(message) << '\n';
    return exitRefused;
}

// "p.vmp: Error: Can't open File ! (/home/ann/p.vmp: Permission denied)"
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

// Why a file about to be written must be left alone, or nothing. Only a program file (new) or a
// file that holds no program (render) is replaced, never a directory, a FIFO or a device.
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

// Paths named by the environment are relative to where the user started the command: they are
// made absolute before a command makes a program's directory the working directory.
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

// Why the settings file cannot be read, or nothing. A missing file reads as the defaults; a
// FIFO or a device would hold the command forever.
std::optional<std::string> SettingsFileProblem() {
    const fs::path path = transfer::IniSettingsStore::DefaultPath();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return path.string() + ": the settings file is not a regular file";
    }
    return std::nullopt;
}

} // namespace

int CliApp::Run(const std::vector<std::string>& args) {
    ResolveEnvironmentPaths();
    // A file system call that fails where nobody expected it still ends in one line.
    try {
        return RunCommand(args);
    } catch (const std::exception& error) {
        return Refused(error.what());
    }
}

int CliApp::UsageError(const std::string& message) const {
    const std::string help =
        command.empty() ? "velomire-cli --help" : "velomire-cli " + command + " --help";
    std::cerr << messagePrefix << TerminalText(message) << " (see " << help << ")\n";
    return exitUsage;
}

int CliApp::RunCommand(const std::vector<std::string>& args) {
    if (args.empty()) {
        return UsageError("no command given");
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        const std::string topic = rest.empty() ? std::string() : rest[0];
        if (!topic.empty() && !KnownCommand(topic)) {
            return UsageError("unknown command '" + topic + "'");
        }
        std::cout << (topic.empty() ? std::string(usage) : CommandHelp(topic));
        return exitOk;
    }
    if (args[0] == "--version") {
        std::cout << "velomire-cli " << VELOMIRE_VERSION << '\n';
        return exitOk;
    }
    if (!KnownCommand(args[0])) {
        return UsageError("unknown command '" + args[0] + "'");
    }
    command = args[0];
    if (AsksForHelp(rest)) {
        std::cout << CommandHelp(command);
        return exitOk;
    }
    if (command == "info") {
        return Info(rest);
    }
    if (command == "new") {
        return New(rest);
    }
    if (command == "ports") {
        return Ports(rest);
    }
    if (command == "render") {
        return Transfer(rest, false);
    }
    if (command == "send") {
        return Transfer(rest, true);
    }
    if (command == "sampler") {
        return Sampler(rest);
    }
    return Decode(rest);
}

int CliApp::Info(const std::vector<std::string>& args) {
    std::string path;
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (path.empty()) {
            path = arg;
        } else {
            return UsageError("info takes one program file");
        }
    }
    if (path.empty()) {
        return UsageError("info needs a program file");
    }
    auto program = std::make_unique<program::Program>();
    const auto result = program::ProgramFile::LoadFile(path, *program);
    if (!result) {
        return Refused(FileProblem(path, result));
    }
    const auto data = ProgramToJson(*program);
    if (json) {
        std::cout << data.dump(2) << '\n';
    } else {
        std::cout << JsonToText(data);
    }
    return exitOk;
}

int CliApp::New(const std::vector<std::string>& args) {
    bool convert = false;
    bool mapKeys = false;
    program::ConvertOptions convertOptions;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--convert") {
            convert = true;
        } else if (arg == "--dither") {
            convertOptions.dither = true;
        } else if (arg == "--map-keys") {
            mapKeys = true;
        } else if (arg == "--rate") {
            const std::string value = i + 1 < args.size() ? args[++i] : std::string();
            if (value == "keep") {
                convertOptions.rate = program::TargetRate::keep;
            } else if (value == "44100") {
                convertOptions.rate = program::TargetRate::rate44100;
            } else if (value == "22050") {
                convertOptions.rate = program::TargetRate::rate22050;
            } else if (value == "s900") {
                convertOptions.rate = program::TargetRate::s900;
            } else {
                return UsageError("--rate takes keep, 44100, 22050 or s900");
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else {
            names.push_back(arg);
        }
    }
    if (names.empty()) {
        return UsageError("new needs a program file and WAV files");
    }
    std::error_code ec;
    const fs::path programPath = fs::absolute(names[0], ec);
    if (ec || !fs::is_directory(programPath.parent_path(), ec)) {
        return Refused(names[0] + ": the program's directory does not exist");
    }
    std::string extension = programPath.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".vmp") {
        return Refused(names[0] + ": a program file name ends in .vmp");
    }
    if (const auto why = ProtectedTarget(programPath, true)) {
        return Refused(names[0] + ": " + *why + "; nothing was written");
    }
    // The WAV files are named on the command line relative to where the user is; the program
    // names them relative to its own directory, which becomes the working directory.
    std::vector<fs::path> wavPaths;
    for (std::size_t i = 1; i < names.size(); ++i) {
        wavPaths.push_back(fs::absolute(names[i], ec));
        if (SameFile(wavPaths.back(), programPath)) {
            return Refused(names[0] + ": is also named as a sample file; nothing was written");
        }
    }

    StderrMessages messages;
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(programPath, true);
    const fs::path directory = fs::canonical(program->programDirectory, ec);

    std::vector<fs::path> files;
    for (const auto& wavPath : wavPaths) {
        if (fs::canonical(wavPath.parent_path(), ec) != directory) {
            messages.Show("Error: not in the program's directory !", wavPath.string());
            continue;
        }
        files.push_back(wavPath);
    }

    // Files of other formats become 16-bit WAV files beside them, when asked for. SIGINT and
    // SIGTERM stop the conversions; the files of this run are then removed and nothing is saved.
    std::vector<std::string> fileNames;
    std::vector<std::string> convertedNames; // written by this run
    std::string notConverted;
    FileConverter converter;
    const auto toConvert = program::FilesToConvert(files, converter);
    program::ConvertedFiles converted;
    if (convert) {
        const StopSignalsCancel stopOnSignal;
        converted = program::ConvertFiles(toConvert, directory, convertOptions, converter, messages,
                                          [](double) { return stopSignal == 0; });
        for (const auto& name : converted.names) {
            if (name) {
                convertedNames.push_back(*name);
            }
        }
        if (const int signal = stopSignal.load(); signal != 0) {
            for (const auto& name : convertedNames) {
                fs::remove(directory / name, ec);
            }
            Refused("interrupted; nothing was saved");
            return 128 + signal;
        }
    }
    for (const auto& file : files) {
        const auto found = std::find(toConvert.begin(), toConvert.end(), file);
        if (found == toConvert.end()) {
            fileNames.push_back(file.filename().string());
        } else if (!convert) {
            // Refused by the reader as ever, then named once more with the way to take it.
            fileNames.push_back(file.filename().string());
            notConverted += " " + file.filename().string();
        } else if (const auto& name =
                       converted.names[static_cast<std::size_t>(found - toConvert.begin())]) {
            PrintLine("Converted " + file.filename().string() + " to " + *name);
            fileNames.push_back(*name);
        }
    }

    for (const auto& fileName : fileNames) {
        const bool full = program->sampleCount >= program::Program::maxSamples;
        program::AddSample(*program, fileName, messages);
        if (full) {
            break; // said once, not once for every file left
        }
    }
    // A converted file the program did not take (refused, or past a full program) is not left
    // behind unused.
    for (const auto& name : convertedNames) {
        bool used = false;
        for (int i = 0; i < program->sampleCount; ++i) {
            used =
                used || program::FieldText(
                            program->samples[static_cast<std::size_t>(i)].sample.fileName) == name;
        }
        if (!used) {
            fs::remove(directory / name, ec);
        }
    }

    if (!notConverted.empty()) {
        messages.Show("other sound formats are converted into 16-bit WAV files with --convert:" +
                          notConverted,
                      "");
    }

    // What was said so far refused files, but for the clipping note; what key mapping says next
    // only informs.
    const std::size_t refusals = messages.Count();
    const std::size_t clippingNotes = converted.clipped > 0 ? 1 : 0;
    if (mapKeys) {
        const auto unrecognised = program::MapKeysFromNames(
            std::span(program->samples).first(static_cast<std::size_t>(program->sampleCount)), {});
        if (!unrecognised.empty()) {
            messages.Show(program::UnmappedNamesText(unrecognised), "");
        }
    }

    // A program that took none of its files is not saved (an earlier program of that name stays).
    if (program->sampleCount == 0 && !wavPaths.empty()) {
        return Refused(names[0] + ": no file was taken; nothing was saved");
    }
    const auto saved = program::ProgramFile::SaveFile(programPath, *program);
    if (!saved) {
        return Refused(FileProblem(programPath.string(), saved));
    }
    PrintLine("Saved " + programPath.filename().string() + " with " +
              std::to_string(program->sampleCount) +
              (program->sampleCount == 1 ? " sample" : " samples"));
    // The accepted files are saved; a script still learns that some were refused, or that a
    // conversion clipped (a warning, told in its line above).
    if (refusals > clippingNotes) {
        return exitRefused;
    }
    return clippingNotes > 0 ? exitWarning : exitOk;
}

int CliApp::Ports(const std::vector<std::string>& args) {
    const bool input = args.size() == 1 && args[0] == "--input";
    if (!args.empty() && !input) {
        return UsageError("ports takes no arguments but --input");
    }
    std::vector<std::string> names;
    if (input) {
        names = transfer::SystemMidiInDriver().PortNames();
    } else {
        names = transfer::SystemMidiDriver().PortNames();
    }
    if (names.empty()) {
        std::cerr << messagePrefix
                  << (input ? "no MIDI input port found\n" : "no MIDI output port found\n");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        PrintLine(std::to_string(i) + ": " + names[i]);
    }
    return exitOk;
}

namespace {

#ifdef __linux__
volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}
#endif

// "3,17,40" as numbers; nothing when any part is not a whole number.
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

} // namespace

int CliApp::Sampler(const std::vector<std::string>& args) {
    std::map<std::string, std::string> values;
    bool oneWay = false;
    bool force = false;
    bool onlyJack = false;
    bool onlyAlsa = false;
    const std::vector<std::string> names = {"--model",       "--out",  "--name",
                                            "--nak",         "--wait", "--cancel-at",
                                            "--reply-delay", "--lose", "--memory-words"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--one-way") {
            oneWay = true;
        } else if (args[i] == "--force") {
            force = true;
        } else if (args[i] == "--jack") {
            onlyJack = true;
        } else if (args[i] == "--alsa") {
            onlyAlsa = true;
        } else if (std::find(names.begin(), names.end(), args[i]) != names.end()) {
            if (i + 1 >= args.size()) {
                return UsageError(args[i] + " needs a value");
            }
            values[args[i]] = args[i + 1];
            ++i;
        } else {
            return UsageError("unknown option '" + args[i] + "'");
        }
    }
    if (values.count("--model") == 0 || values.count("--out") == 0) {
        return UsageError("sampler needs --model and --out");
    }
    if (onlyJack && onlyAlsa) {
        return UsageError("sampler takes --jack or --alsa, not both");
    }
    const auto model = transfer::SamplerModel::Parse(values["--model"]);
    if (!model) {
        return UsageError("unknown model '" + values["--model"] + "'");
    }
    transfer::SamplerScript script;
    script.family = transfer::SamplerModel::Family(*model);
    script.oneWay = oneWay;
    script.memoryWords = transfer::SimulatedMemoryWords(*model);
    if (values.count("--memory-words") != 0) {
        const auto words = ParseWhole(values["--memory-words"]);
        if (!words || *words < 1 || *words > 0x7FFFFFFF) {
            return UsageError("--memory-words takes a number of words from 1 to 2147483647");
        }
        script.memoryWords = static_cast<std::uint32_t>(*words);
    }
    if (values.count("--nak") != 0) {
        const auto list = ParseList(values["--nak"]);
        if (!list) {
            return UsageError("--nak takes packet numbers such as 3,17");
        }
        script.nakPackets = *list;
    }
    if (values.count("--wait") != 0) {
        const std::string& text = values["--wait"];
        const std::size_t colon = text.find(':');
        const auto packet = ParseWhole(text.substr(0, colon));
        const auto ms =
            colon == std::string::npos ? std::nullopt : ParseWhole(text.substr(colon + 1));
        if (!packet || !ms || *packet < 0 || *ms < 0) {
            return UsageError("--wait takes PACKET:MS");
        }
        script.waitPacket = *packet;
        script.waitTime = std::chrono::milliseconds(*ms);
    }
    if (values.count("--cancel-at") != 0) {
        const auto packet = ParseWhole(values["--cancel-at"]);
        if (!packet || *packet < 0) {
            return UsageError("--cancel-at takes a packet number");
        }
        script.cancelPacket = *packet;
    }
    if (values.count("--lose") != 0) {
        const auto packet = ParseWhole(values["--lose"]);
        if (!packet || *packet < 0) {
            return UsageError("--lose takes a packet number");
        }
        script.losePacket = *packet;
    }
    if (values.count("--reply-delay") != 0) {
        const auto ms = ParseWhole(values["--reply-delay"]);
        if (!ms || *ms < 0) {
            return UsageError("--reply-delay takes milliseconds");
        }
        script.replyDelay = std::chrono::milliseconds(*ms);
    }
    const fs::path outDir = values["--out"];
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) {
        return Refused(outDir.string() + ": not a directory");
    }
    if (const auto earlier = DecodedFiles::EarlierOutput(outDir); earlier && !force) {
        return Refused((outDir / *earlier).string() +
                       ": exists already (--force replaces the files of an earlier run)");
    }
#ifdef __linux__
    const std::string clientName =
        values.count("--name") != 0 ? values["--name"] : "velomire-sampler";
    // JACK when its server runs (a JACK client never starts one), otherwise the ALSA sequencer.
    std::string error;
    std::unique_ptr<transfer::MidiEndpoint> endpoint;
    std::string system = "JACK";
    if (!onlyAlsa) {
        endpoint = transfer::JackMidiEndpoint::Open(clientName, true, true, error);
    }
    if (!endpoint && !onlyJack) {
        std::string alsaError;
        endpoint = transfer::AlsaSeqMidiEndpoint::Open(clientName, alsaError);
        system = "ALSA";
        error = error.empty() ? alsaError : error + " " + alsaError;
    }
    if (!endpoint) {
        return Refused(error);
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    PrintLine("Listening on " + system + " port " + endpoint->InputName() + ", answering on " +
              system + " port " + endpoint->OutputName());

    transfer::SamplerService service(script);
    // What the sampler closed is written out, each under a name of its own (a second sample of
    // the same number never takes the first one's files), and then forgotten. Only the main loop
    // touches the sampler, so the endpoint's thread never waits for a file.
    DecodedFiles files(outDir, force);
    bool writeFailed = false;
    const auto writeClosed = [&](bool all) {
        std::vector<transfer::DecodedSample> samples;
        std::vector<transfer::DecodedProgram> programs;
        std::vector<std::string> refused;
        service.Inspect([&](transfer::SimulatedSampler& sampler) {
            if (all) {
                sampler.CloseAll();
            }
            samples = sampler.TakeClosedSamples();
            programs = sampler.TakeClosedPrograms();
            refused = sampler.TakeLog();
        });
        for (const std::string& line : refused) {
            PrintLine("Refused: " + line);
        }
        for (const auto& sample : samples) {
            const auto problem = transfer::SampleProblem(sample);
            const std::string received = "Received sample #" + std::to_string(sample.number) + ": ";
            if (!sample.hasData) {
                PrintLine(received + *problem + " (nothing written)");
                continue;
            }
            const std::string name = files.NewSampleName(sample.number);
            if (const std::string failed = Guarded([&] { return files.WriteSample(name, sample); });
                !failed.empty()) {
                Refused(failed);
                writeFailed = true;
                continue;
            }
            std::string line = received;
            line += std::to_string(sample.frames.size()) + " of " +
                    std::to_string(sample.lengthWords) + " words (" + name + ".wav";
            if (problem) {
                line += ", " + *problem;
            }
            line += ")";
            PrintLine(line);
        }
        for (const auto& program : programs) {
            if (const std::string failed = Guarded([&] {
                    return files.WriteProgram(files.NewProgramName(program.number), program);
                });
                !failed.empty()) {
                Refused(failed);
                writeFailed = true;
            }
        }
    };
    endpoint->SetResponder(&service);
    while (stopRequested == 0) {
        if (transfer::MidiStatus status =
                service.Serve(*endpoint, std::chrono::steady_clock::now());
            !status) {
            Refused(status.text);
            if (endpoint->ServerGone()) {
                break;
            }
        }
        writeClosed(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    endpoint.reset(); // its thread may be answering through the service until it is closed
    writeClosed(true);
    return writeFailed ? exitRefused : exitOk;
#else
    return Refused(
        "the simulated sampler needs JACK or the ALSA sequencer, which this system does not have");
#endif
}

int CliApp::Decode(const std::vector<std::string>& args) {
    std::string dumpPath;
    std::string outDir;
    bool force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out") {
            if (i + 1 >= args.size()) {
                return UsageError("--out needs a directory");
            }
            outDir = args[++i];
        } else if (args[i] == "--force") {
            force = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            return UsageError("unknown option '" + args[i] + "'");
        } else if (dumpPath.empty()) {
            dumpPath = args[i];
        } else {
            return UsageError("decode takes one dump file");
        }
    }
    if (dumpPath.empty() || outDir.empty()) {
        return UsageError("decode needs a dump file and --out DIR");
    }
    std::ifstream in(dumpPath, std::ios::binary);
    if (!in) {
        return Refused(dumpPath + ": Error: Can't open File !");
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) {
        return Refused(outDir + ": not a directory");
    }
    if (const auto earlier = DecodedFiles::EarlierOutput(outDir); earlier && !force) {
        return Refused((fs::path(outDir) / *earlier).string() +
                       ": exists already; nothing was written (--force replaces the files)");
    }
    // The dump is read and decoded in pieces and each sample written as soon as it is closed, so
    // that memory stays within a few times the largest sample however long the dump. Every
    // malformed message is named and the decoding goes on; a file that cannot be written stops
    // the writing, and the summary counts what was written.
    DecodedFiles files(outDir, force);
    transfer::SysExStreamDecoder stream;
    std::size_t samples = 0;
    std::size_t programs = 0;
    std::size_t problems = 0;
    constexpr std::size_t problemLines = 100;
    std::string failed;
    const auto takeClosed = [&] {
        for (const auto& sample : stream.TakeSamples()) {
            if (failed.empty()) {
                failed = Guarded(
                    [&] { return files.WriteSample(files.NewSampleName(sample.number), sample); });
                samples += failed.empty() ? 1 : 0;
            }
        }
        for (const auto& program : stream.TakePrograms()) {
            if (failed.empty()) {
                failed = Guarded([&] {
                    return files.WriteProgram(files.NewProgramName(program.number), program);
                });
                programs += failed.empty() ? 1 : 0;
            }
        }
        for (const auto& error : stream.TakeErrors()) {
            if (++problems <= problemLines) {
                Refused(dumpPath +
                        (error.sample ? ": at offset " : ": malformed message at offset ") +
                        std::to_string(error.offset) + ": " + error.text);
            }
        }
    };
    std::vector<char> piece(1 << 16);
    while (failed.empty() && in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        stream.Feed({reinterpret_cast<const std::uint8_t*>(piece.data()), got});
        takeClosed();
    }
    if (in.bad()) {
        return Refused(dumpPath + ": Error: Can't read File !");
    }
    stream.Finish();
    takeClosed();
    PrintLine("Decoded " + std::to_string(samples) +
              (samples == 1 ? " sample and " : " samples and ") + std::to_string(programs) +
              (programs == 1 ? " program" : " programs"));
    if (!failed.empty()) {
        return Refused(failed);
    }
    if (problems > problemLines) {
        Refused(dumpPath + ": " + std::to_string(problems - problemLines) +
                " more problems not shown");
    }
    return problems > 0 ? exitRefused : exitOk;
}

int CliApp::Transfer(const std::vector<std::string>& args, bool live) {
    TransferOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (std::find(transferOptionNames.begin(), transferOptionNames.end(), arg) !=
            transferOptionNames.end()) {
            if (i + 1 >= args.size()) {
                return UsageError(arg + " needs a value");
            }
            options.values[arg] = args[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (options.programPath.empty()) {
            options.programPath = arg;
        } else {
            return UsageError(command + " takes one program file");
        }
    }
    const auto has = [&](const std::string& name) { return options.values.count(name) > 0; };
    if (options.programPath.empty()) {
        return UsageError(command + " needs a program file");
    }
    if (!has("--model")) {
        return UsageError(command + " needs --model");
    }
    if (!live && !has("-o")) {
        return UsageError(command + " needs -o OUT.syx");
    }
    if (live ? has("-o")
             : (has("--port") || has("--trace") || has("--reply-port") || has("--wait-limit"))) {
        return UsageError(live ? "send writes no file: use render -o"
                               : "render uses no port: use send --port");
    }
    const auto model = transfer::SamplerModel::Parse(options.values["--model"]);
    if (!model) {
        return UsageError("unknown model '" + options.values["--model"] + "'");
    }

    std::optional<std::int32_t> programNumber;
    std::optional<std::int32_t> sampleNumber;
    std::optional<std::int32_t> midiChannel;
    std::optional<std::int32_t> exclusiveChannel;
    std::optional<std::int32_t> waitLimit;
    const struct {
        const char* name;
        std::optional<std::int32_t>* value;
        std::int32_t min;
        std::int32_t max;
    } numbers[] = {
        {"--program-number", &programNumber, 0, 65535},
        {"--sample-number", &sampleNumber, 0, 65535},
        {"--midi-channel", &midiChannel, 1, 16},
        {"--exclusive-channel", &exclusiveChannel, 1, 128},
        {"--wait-limit", &waitLimit, transfer::waitLimitRange.min, transfer::waitLimitRange.max}};
    for (const auto& number : numbers) {
        if (!has(number.name)) {
            continue;
        }
        const auto value = ParseWhole(options.values[number.name]);
        if (!value || *value < number.min || *value > number.max) {
            return UsageError(std::string(number.name) + " takes a whole number from " +
                              std::to_string(number.min) + " to " + std::to_string(number.max));
        }
        *number.value = *value;
    }

    if (const auto problem = SettingsFileProblem()) {
        return Refused(*problem);
    }
    // Files named on the command line are taken relative to where the user is, before the
    // program's directory becomes the working directory.
    std::error_code ec;
    const fs::path programPath = fs::absolute(options.programPath, ec);
    const fs::path outPath = has("-o") ? fs::absolute(options.values["-o"], ec) : fs::path();
    const fs::path tracePath =
        has("--trace") ? fs::absolute(options.values["--trace"], ec) : fs::path();

    auto program = std::make_unique<program::Program>();
    const auto loaded = program::ProgramFile::LoadFile(programPath, *program);
    if (!loaded) {
        return Refused(FileProblem(options.programPath, loaded));
    }
    if (!live) {
        bool isInput = SameFile(outPath, programPath);
        for (int i = 0; i < program->sampleCount; ++i) {
            const std::string name =
                program::FieldText(program->samples[static_cast<std::size_t>(i)].sample.fileName);
            isInput = isInput || SameFile(outPath, programPath.parent_path() / name);
        }
        if (isInput) {
            return Refused(options.values["-o"] +
                           ": is an input of the render; nothing was written");
        }
        if (const auto why = ProtectedTarget(outPath, false)) {
            return Refused(options.values["-o"] + ": " + *why + "; nothing was written");
        }
    }
    program->SetProgramPath(programPath, false);

#ifdef VELOMIRE_CLI_QT_SETTINGS
    transfer::QtSettingsStore store;
#else
    transfer::IniSettingsStore store(transfer::IniSettingsStore::DefaultPath());
#endif
    transfer::SettingsReader reader(store);
    transfer::SamplerSettings settings = transfer::SamplerSettings::Read(reader);
    // Said once, before anything else happens; the values refused are left at their defaults.
    if (const std::string warning = reader.Warning(); !warning.empty()) {
        std::cerr << "velomire-cli: warning: " << TerminalText(warning) << '\n';
    }
    if (live && !has("--port") && settings.midiOutDevice < 0) {
        return UsageError("send needs --port: no Midi Out device is saved in the settings");
    }
    settings.samplerModel = *model;
    if (midiChannel) {
        settings.midiChannel = *midiChannel - 1;
    }
    if (exclusiveChannel) {
        settings.exclusiveChannel = *exclusiveChannel - 1;
    }
    if (waitLimit) {
        settings.waitLimit = *waitLimit;
    }

    StderrMessages messages;
    CliSendUi ui(live, programNumber, sampleNumber);
    using Outcome = transfer::SendCommand::Outcome;
    Outcome outcome;
    if (live) {
        // Without --port the program goes where the desktop application would send it: to the
        // saved ports, found by their names, and refused when one is not there.
        transfer::SystemMidiDriver driver;
        if (has("--port")) {
            const std::vector<std::string> names = driver.PortNames();
            const auto port = FindPort(names, options.values["--port"]);
            if (!port) {
                return Refused("no single MIDI output port matches '" + options.values["--port"] +
                               "' (see velomire-cli ports)");
            }
            settings.midiOutDevice = *port;
            settings.midiOutName = names[static_cast<std::size_t>(*port)];
            // One-way unless the answers have a port to come back through.
            settings.midiInDevice = -1;
            settings.midiInName.clear();
        }
        transfer::SteadyWaitClock clock;
        transfer::MidiOutPort midiPort(driver, clock, messages);
        transfer::SystemMidiInDriver inDriver;
        transfer::MidiInPort replyPort(inDriver, clock);
        if (has("--reply-port")) {
            const std::vector<std::string> names = inDriver.PortNames();
            const auto in = FindPort(names, options.values["--reply-port"]);
            if (!in) {
                return Refused("no single MIDI input port matches '" +
                               options.values["--reply-port"] +
                               "' (see velomire-cli ports --input)");
            }
            settings.midiInDevice = *in;
            settings.midiInName = names[static_cast<std::size_t>(*in)];
        }
        if (has("--trace")) {
            program->traceMode = 1;
            midiPort.SetTracePath(tracePath);
        }
        const StopSignalsCancel cancelOnSignal;
        const auto cancelOnStop = [&midiPort] {
            if (stopSignal != 0) {
                midiPort.RequestCancel();
            }
        };
        midiPort.SetIdleHook(cancelOnStop);
        replyPort.SetIdleHook(cancelOnStop); // a signal also ends a wait for the sampler
        transfer::SendCommand sendCommand(*program, settings, midiPort, messages, ui);
        sendCommand.SetReplyPort(&replyPort);
        outcome = sendCommand.OnSendProgram();
        // The ending has been told in one line already. A send the user interrupted is reported
        // as interrupted also when the device failed meanwhile (a frozen JACK server).
        if ((outcome == Outcome::interrupted || outcome == Outcome::stopped) && stopSignal != 0) {
            return 128 + stopSignal;
        }
        if (outcome == Outcome::interrupted || outcome == Outcome::stopped) {
            return exitRefused;
        }
        // One ending: the report when everything went out unrefused, with its warnings if any;
        // otherwise the refusal below.
        const bool done = outcome == Outcome::sent || outcome == Outcome::sentWithWarning;
        if (done && messages.Count() == 0) {
            std::cout << sendCommand.Report() << '\n' << std::flush;
            for (const std::string& warning : sendCommand.Warnings()) {
                std::cerr << "velomire-cli: " << TerminalText(warning) << '\n';
            }
            return outcome == Outcome::sent ? exitOk : exitWarning;
        }
    } else {
        // Streamed to a file beside the output, which takes its place only when all went well:
        // a refused or failed render leaves an existing output as it was.
        fs::path partPath = outPath;
        partPath += ".part";
        std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
        if (!out) {
            return Refused(outPath.string() + ": Error: Can't write File !");
        }
        transfer::StreamMidiDriver stream(out);
        transfer::InstantWaitClock clock;
        transfer::MidiOutPort midiPort(stream, clock, messages);
        settings.midiOutDevice = 0;
        settings.midiOutName.clear();
        outcome = transfer::SendCommand(*program, settings, midiPort, messages, ui).OnSendProgram();
        out.close();
        const bool rendered = outcome == Outcome::sent && messages.Count() == 0;
        ec.clear();
        if (rendered && out) {
            fs::rename(partPath, outPath, ec);
        }
        if (!rendered || !out || ec) {
            std::error_code ignored;
            fs::remove(partPath, ignored);
            if (rendered) {
                return Refused(outPath.string() + ": Error: Can't write File !");
            }
        }
    }
    if (outcome != Outcome::sent || messages.Count() > 0) {
        return Refused(command + " refused: " + options.programPath);
    }
    return exitOk;
}

} // namespace velomire::cli
