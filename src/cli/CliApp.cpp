#include "cli/CliApp.h"

#include "cli/CliSendUi.h"
#include "cli/DecodedFiles.h"
#include "cli/ProgramJson.h"
#include "cli/StderrMessages.h"
#include "program/AddSample.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/WavInfo.h"
#include "transfer/CaptureMidiDriver.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerModel.h"
#include "transfer/SamplerSettings.h"
#include "transfer/SendCommand.h"
#include "transfer/SysExDecoder.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"
#ifdef __linux__
#include "transfer/devices/JackMidiEndpoint.h"
#endif
#include "transfer/SimulatedSampler.h"
#include "ui/QtSettingsStore.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

const char* const usage = R"(usage: velomire-cli COMMAND ...
  info PROGRAM.vmp [--json]     print every stored field of a program
  new PROGRAM.vmp FILE.wav...   create a program from WAV files of its directory and save it
  ports [--input]               list the MIDI output ports (or the input ports)
  render PROGRAM.vmp --model M -o OUT.syx [numbers] [channels]
                                write the bytes a send would put on the wire, without waits
  send PROGRAM.vmp --model M --port P [--reply-port Q] [numbers] [channels] [--trace FILE]
                                send the program to a sampler through a MIDI output port;
                                with --reply-port, closed-loop: the sampler's answers come in
                                through MIDI input port Q (see ports --input)
  sampler --model M --out DIR [--name NAME] [--nak N,N,...] [--wait N:MS] [--cancel-at N]
          [--reply-delay MS] [--one-way]
                                a simulated sampler on JACK (ports NAME:in and NAME:out) that
                                checks, answers and writes what it receives into DIR, until
                                interrupted; packets are counted from 0 over the run
  decode DUMP.syx --out DIR     rebuild the samples (16-bit WAV + JSON) and programs (JSON) that
                                a render output or a trace dump carries
options of render and send:
  --model M               0..9, or a model name such as "Akai S3000 XL" or "S950"
  --program-number N      programs already in the sampler (default: as the Send command proposes)
  --sample-number N       samples already in the sampler (default: as the Send command proposes)
  --midi-channel C        1..16 (default: the saved settings)
  --exclusive-channel E   1..128 (default: the saved settings)
)";

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
                                                      "--reply-port"};

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

int UsageError(const std::string& message) {
    std::cerr << "velomire-cli: " << message << '\n' << usage;
    return exitUsage;
}

int Refused(const std::string& message) {
    std::cerr << "velomire-cli: " << message << '\n';
    return exitRefused;
}

} // namespace

int CliApp::Run(const std::vector<std::string>& args) {
    if (args.empty()) {
        return UsageError("no command given");
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
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
    if (command == "decode") {
        return Decode(rest);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << usage;
        return exitOk;
    }
    return UsageError("unknown command '" + command + "'");
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
        return Refused(path + ": " + result.error);
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
    if (args.empty() || args[0].empty() || args[0][0] == '-') {
        return UsageError("new needs a program file and WAV files");
    }
    std::error_code ec;
    const fs::path programPath = fs::absolute(args[0], ec);
    if (ec || !fs::is_directory(programPath.parent_path())) {
        return Refused(args[0] + ": the program's directory does not exist");
    }
    // The WAV files are named on the command line relative to where the user is; the program
    // names them relative to its own directory, which becomes the working directory.
    std::vector<fs::path> wavPaths;
    for (std::size_t i = 1; i < args.size(); ++i) {
        wavPaths.push_back(fs::absolute(args[i], ec));
    }

    StderrMessages messages;
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(programPath, true);
    const fs::path directory = fs::canonical(program->programDirectory, ec);

    for (const auto& wavPath : wavPaths) {
        if (fs::canonical(wavPath.parent_path(), ec) != directory) {
            messages.Show("Error: not in the program's directory !", wavPath.string());
            continue;
        }
        const bool full = program->sampleCount >= program::Program::maxSamples;
        program::AddSample(*program, wavPath.filename().string(), messages);
        if (full) {
            break; // said once, not once for every file left
        }
    }

    const auto saved = program::ProgramFile::SaveFile(programPath, *program);
    if (!saved) {
        return Refused(programPath.string() + ": " + saved.error);
    }
    std::cout << "Saved " << programPath.filename().string() << " with " << program->sampleCount
              << (program->sampleCount == 1 ? " sample\n" : " samples\n");
    return exitOk;
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
        std::cerr << (input ? "velomire-cli: no MIDI input port found\n"
                            : "velomire-cli: no MIDI output port found\n");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::cout << i << ": " << names[i] << '\n';
    }
    return exitOk;
}

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

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
    const std::vector<std::string> names = {"--model", "--out",       "--name",       "--nak",
                                            "--wait",  "--cancel-at", "--reply-delay"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--one-way") {
            oneWay = true;
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
    const auto model = transfer::SamplerModel::Parse(values["--model"]);
    if (!model) {
        return UsageError("unknown model '" + values["--model"] + "'");
    }
    transfer::SamplerScript script;
    script.family = transfer::SamplerModel::Family(*model);
    script.oneWay = oneWay;
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
#ifdef __linux__
    const std::string clientName =
        values.count("--name") != 0 ? values["--name"] : "velomire-sampler";
    std::string error;
    auto endpoint = transfer::JackMidiEndpoint::Open(clientName, true, true, error);
    if (!endpoint) {
        return Refused(error);
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::cout << "Listening on " << endpoint->InputName() << ", answering on "
              << endpoint->OutputName() << std::endl;

    transfer::SimulatedSampler sampler(script);
    using Clock = std::chrono::steady_clock;
    std::multimap<Clock::time_point, std::vector<std::uint8_t>> pending;
    std::vector<transfer::MidiInBytes> arrived;
    std::set<std::size_t> unwritten;
    const auto writeChanged = [&](bool all) {
        for (std::size_t index : sampler.TakeChangedSamples()) {
            unwritten.insert(index);
        }
        for (auto it = unwritten.begin(); it != unwritten.end();) {
            const auto& sample = sampler.Decoder().Samples()[*it];
            if (!all && !sample.Complete()) {
                ++it;
                continue;
            }
            if (const std::string failed = WriteSample(outDir, sample); !failed.empty()) {
                std::cerr << "velomire-cli: " << failed << '\n';
            }
            std::cout << "Received sample #" << sample.number << ": " << sample.frames.size()
                      << " of " << sample.lengthWords << " words" << std::endl;
            it = unwritten.erase(it);
        }
        for (std::size_t index : sampler.TakeChangedPrograms()) {
            const auto& program = sampler.Decoder().Programs()[index];
            if (const std::string failed = WriteProgram(outDir, program); !failed.empty()) {
                std::cerr << "velomire-cli: " << failed << '\n';
            }
        }
        for (const std::string& line : sampler.TakeLog()) {
            std::cout << "Refused: " << line << std::endl;
        }
    };
    while (stopRequested == 0) {
        arrived.clear();
        if (transfer::MidiStatus status = endpoint->Poll(arrived); !status) {
            std::cerr << "velomire-cli: " << status.text << '\n';
            if (endpoint->ServerGone()) {
                break;
            }
        }
        for (const auto& piece : arrived) {
            for (auto& reply : sampler.Feed(piece.bytes)) {
                pending.emplace(piece.time + reply.delay, std::move(reply.bytes));
            }
        }
        const auto now = Clock::now();
        while (!pending.empty() && pending.begin()->first <= now) {
            if (transfer::MidiStatus status = endpoint->Write(pending.begin()->second); !status) {
                std::cerr << "velomire-cli: " << status.text << '\n';
            }
            pending.erase(pending.begin());
        }
        writeChanged(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writeChanged(true);
    return exitOk;
#else
    return Refused("the simulated sampler needs JACK, which this system does not have");
#endif
}

int CliApp::Decode(const std::vector<std::string>& args) {
    std::string dumpPath;
    std::string outDir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out") {
            if (i + 1 >= args.size()) {
                return UsageError("--out needs a directory");
            }
            outDir = args[++i];
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
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) {
        return Refused(outDir + ": not a directory");
    }
    const transfer::DecodeResult decoded = transfer::DecodeSysExStream(bytes);
    // What came before a malformed message is written all the same.
    for (const auto& sample : decoded.samples) {
        if (const std::string error = WriteSample(outDir, sample); !error.empty()) {
            return Refused(error);
        }
    }
    for (const auto& program : decoded.programs) {
        if (const std::string error = WriteProgram(outDir, program); !error.empty()) {
            return Refused(error);
        }
    }
    std::cout << "Decoded " << decoded.samples.size()
              << (decoded.samples.size() == 1 ? " sample and " : " samples and ")
              << decoded.programs.size()
              << (decoded.programs.size() == 1 ? " program\n" : " programs\n");
    if (decoded.error) {
        return Refused(dumpPath + ": malformed message at offset " +
                       std::to_string(decoded.error->offset) + ": " + decoded.error->text);
    }
    return exitOk;
}

int CliApp::Transfer(const std::vector<std::string>& args, bool live) {
    const std::string command = live ? "send" : "render";
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
    if (live ? !has("--port") : !has("-o")) {
        return UsageError(command + (live ? " needs --port" : " needs -o OUT.syx"));
    }
    if (live ? has("-o") : (has("--port") || has("--trace") || has("--reply-port"))) {
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
    const struct {
        const char* name;
        std::optional<std::int32_t>* value;
        std::int32_t min;
        std::int32_t max;
    } numbers[] = {{"--program-number", &programNumber, 0, 65535},
                   {"--sample-number", &sampleNumber, 0, 65535},
                   {"--midi-channel", &midiChannel, 1, 16},
                   {"--exclusive-channel", &exclusiveChannel, 1, 128}};
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
        return Refused(options.programPath + ": " + loaded.error);
    }
    program->SetProgramPath(programPath, false);

    app::QtSettingsStore store;
    transfer::SamplerSettings settings = transfer::SamplerSettings::Read(store);
    settings.samplerModel = *model;
    if (midiChannel) {
        settings.midiChannel = *midiChannel - 1;
    }
    if (exclusiveChannel) {
        settings.exclusiveChannel = *exclusiveChannel - 1;
    }

    StderrMessages messages;
    CliSendUi ui(live, programNumber, sampleNumber);
    transfer::SendCommand::Outcome outcome;
    if (live) {
        transfer::SystemMidiDriver driver;
        const auto port = FindPort(driver.PortNames(), options.values["--port"]);
        if (!port) {
            return Refused("no single MIDI output port matches '" + options.values["--port"] +
                           "' (see velomire-cli ports)");
        }
        settings.midiOutDevice = *port;
        transfer::SteadyWaitClock clock;
        transfer::MidiOutPort midiPort(driver, clock, messages);
        // One-way unless the answers have a port to come back through.
        transfer::SystemMidiInDriver inDriver;
        transfer::MidiInPort replyPort(inDriver, clock);
        settings.midiInDevice = -1;
        if (has("--reply-port")) {
            const auto in = FindPort(inDriver.PortNames(), options.values["--reply-port"]);
            if (!in) {
                return Refused("no single MIDI input port matches '" +
                               options.values["--reply-port"] +
                               "' (see velomire-cli ports --input)");
            }
            settings.midiInDevice = *in;
        }
        if (has("--trace")) {
            program->traceMode = 1;
            midiPort.SetTracePath(tracePath);
        }
        transfer::SendCommand send(*program, settings, midiPort, messages, ui);
        send.SetReplyPort(&replyPort);
        outcome = send.OnSendProgram();
    } else {
        transfer::CaptureMidiDriver capture;
        transfer::InstantWaitClock clock;
        transfer::MidiOutPort midiPort(capture, clock, messages);
        settings.midiOutDevice = 0;
        outcome = transfer::SendCommand(*program, settings, midiPort, messages, ui).OnSendProgram();
        if (outcome == transfer::SendCommand::Outcome::sent && messages.Count() == 0) {
            std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(capture.bytes.data()),
                      static_cast<std::streamsize>(capture.bytes.size()));
            out.close();
            if (!out) {
                return Refused(outPath.string() + ": Error: Can't write File !");
            }
        }
    }
    if (outcome != transfer::SendCommand::Outcome::sent || messages.Count() > 0) {
        return Refused(command + " refused: " + options.programPath);
    }
    return exitOk;
}

} // namespace velomire::cli
