#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/DecodedFiles.h"
#include "cli/StderrMessages.h"
#include "transfer/SysExStreamDecoder.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

class DecodeCommand : public CliCommand {
public:
    explicit DecodeCommand(CLI::App& parent)
        : CliCommand(parent, "decode", "decode DUMP.syx --out DIR [--force]",
                     "rebuild the samples (16-bit WAV + JSON) and programs (JSON) that a render "
                     "output or a trace dump carries, into DIR; a second sample or program of one "
                     "number gets files of its own") {
        App().add_option("DUMP.syx", dumpPath, "the dump")->required();
        App()
            .add_option("--out", outDir, "where the files are written")
            ->type_name("DIR")
            ->required();
        App().add_flag("--force", force,
                       "replace the files an earlier decode or sampler left in DIR");
    }

    int Run() override;

private:
    std::string dumpPath;
    std::string outDir;
    bool force = false;
};

} // namespace

int DecodeCommand::Run() {
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

std::unique_ptr<CliCommand> MakeDecodeCommand(CLI::App& parent) {
    return std::make_unique<DecodeCommand>(parent);
}

} // namespace velomire::cli
