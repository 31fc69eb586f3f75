#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/DecodedFiles.h"
#include "cli/StderrMessages.h"
#include "transfer/SamplerLoad.h"
#include "transfer/SamplerModel.h"
#include "transfer/SamplerService.h"
#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiEndpoint.h"
#include "transfer/devices/JackMidiEndpoint.h"
#endif

#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

#ifdef __linux__
volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}
#endif

class SamplerCommand : public CliCommand {
public:
    explicit SamplerCommand(CLI::App& parent)
        : CliCommand(parent, "sampler",
                     "sampler --model M --out DIR [--name NAME] [--nak N,N,...]\n"
                     "                            [--wait N:MS] [--cancel-at N] [--lose N] "
                     "[--reply-delay MS]\n"
                     "                            [--memory-words N] [--load DIR] "
                     "[--damage-packet N]\n"
                     "                            [--stall-after N] [--one-way] [--jack | "
                     "--alsa] [--force]",
                     "a simulated sampler with the MIDI ports NAME:in and NAME:out, on JACK when "
                     "a JACK server runs, otherwise on the ALSA sequencer; it checks, answers and "
                     "writes what it receives into DIR, until interrupted; packets are counted "
                     "from 0 over the run; it has the sample memory of its model, or N words") {
        AddModelOption(model)->required();
        App()
            .add_option("--out", outDirName, "where the received samples and programs are written")
            ->type_name("DIR")
            ->required();
        App()
            .add_option("--name", name, "the MIDI client's name (default velomire-sampler)")
            ->type_name("NAME");
        AddChecked(
            "--nak", "N,N,...",
            "answer NAK to these packets once each (counted from 0 over the run)",
            [this](const std::string& text) {
                const auto list = ParseList(text);
                script.nakPackets = list.value_or(std::set<int>());
                return list.has_value();
            },
            "--nak takes packet numbers such as 3,17");
        AddChecked(
            "--wait", "N:MS", "answer WAIT to packet N, then ACK MS milliseconds later",
            [this](const std::string& text) {
                const std::size_t colon = text.find(':');
                const auto packet = ParseWhole(text.substr(0, colon));
                const auto ms =
                    colon == std::string::npos ? std::nullopt : ParseWhole(text.substr(colon + 1));
                if (!packet || !ms || *packet < 0 || *ms < 0) {
                    return false;
                }
                script.waitPacket = *packet;
                script.waitTime = std::chrono::milliseconds(*ms);
                return true;
            },
            "--wait takes PACKET:MS");
        AddChecked(
            "--cancel-at", "N", "answer CANCEL to packet N",
            [this](const std::string& text) { return Packet(text, script.cancelPacket); },
            "--cancel-at takes a packet number");
        AddChecked(
            "--lose", "N", "drop Data Packet N once, as if it was lost on the cable",
            [this](const std::string& text) { return Packet(text, script.losePacket); },
            "--lose takes a packet number");
        AddChecked(
            "--reply-delay", "MS", "delay every answer",
            [this](const std::string& text) {
                const auto ms = ParseWhole(text);
                script.replyDelay = std::chrono::milliseconds(ms.value_or(0));
                return ms && *ms >= 0;
            },
            "--reply-delay takes milliseconds");
        AddChecked(
            "--memory-words", "N", "the sample memory in words (default: the model's)",
            [this](const std::string& text) {
                const auto words = ParseWhole(text);
                memoryWords = static_cast<std::uint32_t>(words.value_or(1));
                return words && *words >= 1;
            },
            "--memory-words takes a number of words from 1 to 2147483647");
        App()
            .add_option("--load", loadDirName,
                        "start with the programs and WAV files of DIR, as if they had been sent")
            ->type_name("DIR");
        AddChecked(
            "--damage-packet", "N",
            "send Data Packet N once with a bad checksum (counted from 0 over the run)",
            [this](const std::string& text) {
                return Packet(text, script.sendFaults.damagePacket);
            },
            "--damage-packet takes a packet number");
        AddChecked(
            "--stall-after", "N", "stop sending a dump after N packets sent over the run, once",
            [this](const std::string& text) { return Packet(text, script.sendFaults.stallAfter); },
            "--stall-after takes a number of packets");
        App().add_flag("--one-way", script.oneWay, "never answer");
        App().add_flag("--jack", onlyJack, "use only JACK");
        App().add_flag("--alsa", onlyAlsa, "use only the ALSA sequencer");
        App().add_flag("--force", force,
                       "replace the files an earlier decode or sampler left in DIR");
    }

    int Run() override;

private:
    static bool Packet(const std::string& text, std::optional<int>& packet) {
        const auto number = ParseWhole(text);
        if (!number || *number < 0) {
            return false;
        }
        packet = *number;
        return true;
    }

    std::optional<std::int32_t> model;
    std::string outDirName;
    std::string name;
    std::string loadDirName;
    transfer::SamplerScript script;
    std::optional<std::uint32_t> memoryWords;
    bool onlyJack = false;
    bool onlyAlsa = false;
    bool force = false;
};

} // namespace

int SamplerCommand::Run() {
    if (onlyJack && onlyAlsa) {
        return UsageError("sampler takes --jack or --alsa, not both");
    }
    script.family = transfer::SamplerModel::Family(*model);
    script.model = *model;
    script.memoryWords = memoryWords.value_or(transfer::SimulatedMemoryWords(*model));
    const fs::path outDir = outDirName;
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) {
        return Refused(outDir.string() + ": not a directory");
    }
    if (const auto earlier = DecodedFiles::EarlierOutput(outDir); earlier && !force) {
        return Refused((outDir / *earlier).string() +
                       ": exists already (--force replaces the files of an earlier run)");
    }
    if (!loadDirName.empty() && !fs::is_directory(loadDirName, ec)) {
        return Refused(loadDirName + ": not a directory");
    }
#ifdef __linux__
    transfer::SamplerService service(script);
    if (!loadDirName.empty()) {
        // Before any request can arrive.
        StderrMessages messages;
        transfer::SamplerLoadResult loaded;
        service.Inspect([&](transfer::SimulatedSampler& sampler) {
            loaded = transfer::LoadSampler(sampler, *model, loadDirName, messages);
        });
        for (const std::string& line : loaded.refused) {
            PrintLine("Not loaded: " + line);
        }
        PrintLine("Loaded " + std::to_string(loaded.programs) +
                  (loaded.programs == 1 ? " program and " : " programs and ") +
                  std::to_string(loaded.samples) +
                  (loaded.samples == 1 ? " sample from " : " samples from ") + loadDirName);
    }
    const std::string clientName = name.empty() ? std::string("velomire-sampler") : name;
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

    // What the sampler closed is written out, each under a name of its own (a second sample of
    // the same number never takes the first one's files), and then forgotten. Only the main loop
    // touches the sampler, so the endpoint's thread never waits for a file.
    DecodedFiles files(outDir, force);
    bool writeFailed = false;
    const auto writeClosed = [&](bool all) {
        std::vector<transfer::DecodedSample> samples;
        std::vector<transfer::DecodedProgram> programs;
        std::vector<std::string> refused;
        std::vector<std::string> heard;
        service.Inspect([&](transfer::SimulatedSampler& sampler) {
            if (all) {
                sampler.CloseAll();
            }
            samples = sampler.TakeClosedSamples();
            programs = sampler.TakeClosedPrograms();
            refused = sampler.TakeLog();
            heard = sampler.TakeHandshakes();
        });
        for (const std::string& line : refused) {
            PrintLine("Refused: " + line);
        }
        for (const std::string& line : heard) {
            PrintLine("Reader sent " + line);
        }
        for (const auto& sample : samples) {
            const auto problem = transfer::SampleProblem(sample);
            const std::string received = "Received sample #" + std::to_string(sample.number) + ": ";
            if (!sample.hasData || !sample.Playable()) {
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

std::unique_ptr<CliCommand> MakeSamplerCommand(CLI::App& parent) {
    return std::make_unique<SamplerCommand>(parent);
}

} // namespace velomire::cli
