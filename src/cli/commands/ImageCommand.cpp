#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "disk/DiskImage.h"
#include "program/ByteWriter.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/SafeFile.h"
#include "program/SafeFileName.h"
#include "program/WavWriter.h"
#include "transfer/DumpText.h"
#include "transfer/SamplerModel.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

namespace velomire::cli {

namespace {

namespace fs = std::filesystem;

// What `velomire-cli image` was asked: a program written as a disk image (or into an image the
// user has), the contents of an image listed, or its samples extracted as WAV files.
struct ImageOptions {
    std::filesystem::path program; // write: the program file
    std::int32_t model = -1;
    std::string medium;           // "dd", "hd", "scsi"; empty with --add (the image's own)
    std::filesystem::path output; // -o
    bool add = false;
    bool force = false;            // replace an existing output
    std::filesystem::path list;    // --list FILE
    std::filesystem::path extract; // --extract FILE
    std::filesystem::path outDir;  // --out DIR of --extract
    bool allowRate = false;        // --allow-rate
};

// The file name a sample of this name is written under in `directory`: the name made safe on
// every system, and a name already there gets "-2", "-3"... so nothing is overwritten.
fs::path FreeWavPath(const fs::path& directory, const std::string& name) {
    const std::string safe = program::SafeFileStem(name, "sample");
    std::error_code ec;
    fs::path path = directory / (safe + ".wav");
    for (int n = 2; fs::exists(fs::symlink_status(path, ec)); ++n) {
        path = directory / (safe + "-" + std::to_string(n) + ".wav");
    }
    return path;
}

// The largest image read: SCSI images of these samplers stay far below.
constexpr std::uintmax_t largestImage = std::uintmax_t{1} << 30;

int UsageError(const std::string& message) {
    std::cerr << messagePrefix << TerminalText(message) << " (see velomire-cli image --help)\n";
    return exitUsage;
}

std::optional<std::vector<std::uint8_t>> ReadImage(const fs::path& path, std::string& problem) {
    std::vector<std::uint8_t> bytes;
    const auto read = program::ReadRegularFile(
        path, largestImage, "Error: the file is larger than a disk image of these samplers", bytes);
    if (!read) {
        problem = FileProblem(path.string(), read);
        return std::nullopt;
    }
    return bytes;
}

std::string Kilobytes(std::uint64_t bytes) {
    return std::to_string(bytes / 1024) + " KB";
}

std::string MediumText(disk::Medium medium) {
    switch (medium) {
    case disk::Medium::dd:
        return "double-density floppy (800 KB)";
    case disk::Medium::hd:
        return "high-density floppy (1.6 MB)";
    case disk::Medium::scsi:
        break;
    }
    return "hard disk";
}

std::string FormatText(disk::ImageFormat format) {
    switch (format) {
    case disk::ImageFormat::s900Floppy:
        return "S900/S950";
    case disk::ImageFormat::s1000Floppy:
        return "S1000";
    case disk::ImageFormat::s3000Floppy:
        return "S3000";
    case disk::ImageFormat::akaiDisk:
        break;
    }
    return "S1000/S3000";
}

// A "smpl" chunk: the root key and, for a looping sample, its first loop (first and last frame).
std::vector<std::uint8_t> SmplChunk(const disk::ImageSample& sample) {
    std::vector<std::uint8_t> chunk = {'s', 'm', 'p', 'l'};
    program::ByteWriter out(chunk);
    const bool loops = sample.loopMode != program::loopNone && !sample.loops.empty() &&
                       sample.loops[0].length > 0 && sample.loops[0].at < sample.lengthWords &&
                       sample.loops[0].length <= sample.loops[0].at + 1;
    out.U32(36 + (loops ? 24 : 0));
    out.U32(0); // manufacturer
    out.U32(0); // product
    out.U32(sample.rate == 0 ? 0 : static_cast<std::uint32_t>(1000000000ull / sample.rate)); // ns
    out.U32(static_cast<std::uint32_t>(std::clamp(sample.rootKey, 0, 127)));
    out.U32(0); // pitch fraction
    out.U32(0); // SMPTE format
    out.U32(0); // SMPTE offset
    out.U32(loops ? 1 : 0);
    out.U32(0); // sampler data
    if (loops) {
        out.U32(0); // cue point
        out.U32(0); // forward
        out.U32(sample.loops[0].at - sample.loops[0].length + 1);
        out.U32(sample.loops[0].at);
        out.U32(0);
        out.U32(0); // for ever
    }
    return chunk;
}

// A 16-bit mono WAV of the words, with its smpl chunk.
std::vector<std::uint8_t> WavOf(const disk::ImageSample& sample,
                                const std::vector<std::int16_t>& words) {
    std::vector<std::uint8_t> wav = program::WavWriter::Image(1, sample.rate, words);
    const std::vector<std::uint8_t> smpl = SmplChunk(sample);
    wav.insert(wav.end(), smpl.begin(), smpl.end());
    const auto riffSize = static_cast<std::uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) {
        wav[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    }
    return wav;
}

std::size_t FileCount(const disk::ImageContents& contents) {
    std::size_t files = 0;
    for (const disk::ImageVolume& volume : contents.volumes) {
        files += volume.files.size();
    }
    return files;
}

int WriteImage(const ImageOptions& options) {
    if (options.program.empty() || options.output.empty() || options.model < 0) {
        return UsageError("image needs PROGRAM.vmp, --model M and -o FILE");
    }
    if (!options.add && options.medium.empty()) {
        return UsageError("image needs --medium dd, hd or scsi (or --add into an image)");
    }
    const auto medium = options.medium.empty() ? std::optional<disk::Medium>(disk::Medium::dd)
                                               : disk::ParseMedium(options.medium);
    if (!medium) {
        return UsageError("--medium is dd, hd or scsi, not '" + options.medium + "'");
    }
    if (options.add && options.force) {
        return UsageError("--add writes into the image and --force replaces it: give one");
    }
    std::error_code ec;
    // Named relative to where the user is, before the program's directory becomes the working
    // directory.
    const fs::path programPath = fs::absolute(options.program, ec);
    const fs::path outPath = fs::absolute(options.output, ec);
    const fs::file_status status = fs::status(outPath, ec);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) {
        return Refused(options.output.string() +
                       ": exists and is not a regular file; nothing was written");
    }
    std::vector<std::uint8_t> image;
    if (exists || options.add) {
        std::string problem;
        auto bytes = ReadImage(outPath, problem);
        if (!bytes) {
            return Refused(problem + "; nothing was written");
        }
        image = std::move(*bytes);
    }
    if (exists && !options.add) {
        // An image is replaced with --force; a program file never (its loader takes almost any
        // bytes, so an image is asked first).
        disk::ImageContents contents;
        auto holder = std::make_unique<program::Program>();
        if (!disk::ReadImage(image, contents) && program::ProgramFile::Load(image, *holder)) {
            return Refused(options.output.string() + ": is a program file; nothing was written");
        }
        if (!options.force) {
            return Refused(options.output.string() +
                           ": exists; nothing was written (--add writes the program into it, "
                           "--force replaces it)");
        }
    }
    if (options.add && !options.medium.empty()) {
        disk::ImageContents contents;
        if (disk::ReadImage(image, contents) && contents.medium != *medium) {
            return Refused(options.output.string() + ": is a " + MediumText(contents.medium) +
                           ", not --medium " + options.medium + "; nothing was written");
        }
    }

    auto program = std::make_unique<program::Program>();
    if (fs::equivalent(programPath, outPath, ec)) {
        return Refused(options.output.string() + ": is the program file; nothing was written");
    }
    const auto loaded = program::ProgramFile::LoadFile(programPath, *program);
    if (!loaded) {
        return Refused(FileProblem(options.program.string(), loaded));
    }
    program->SetProgramPath(programPath, false);

    disk::WavSampleWords words(program->programDirectory);
    const disk::ImageRequest request{options.model, *medium};
    const program::Status made = options.add ? disk::AddToImage(*program, request, words, image)
                                             : disk::MakeImage(*program, request, words, image);
    if (!made) {
        return Refused(options.output.string() + ": " + made.text + " Nothing was written.");
    }
    // Through a temporary file renamed over the target: never half-written.
    if (const auto written = program::ReplaceFile(outPath, image); !written) {
        return Refused(FileProblem(options.output.string(), written));
    }
    disk::ImageContents contents;
    disk::ReadImage(image, contents);
    PrintLine("Wrote " + options.output.string() + ": " + MediumText(contents.medium) + ", " +
              std::to_string(FileCount(contents)) + " files, " + Kilobytes(contents.freeBytes) +
              " free");
    return WarnOffPitch(*program, options.model, options.allowRate);
}

std::optional<disk::ImageContents> ReadContents(const fs::path& path,
                                                std::vector<std::uint8_t>& bytes) {
    std::string problem;
    auto read = ReadImage(path, problem);
    if (!read) {
        Refused(problem);
        return std::nullopt;
    }
    bytes = std::move(*read);
    disk::ImageContents contents;
    if (const program::Status status = disk::ReadImage(bytes, contents); !status) {
        Refused(path.string() + ": " + status.text);
        return std::nullopt;
    }
    return contents;
}

int ListImage(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    const auto contents = ReadContents(path, bytes);
    if (!contents) {
        return exitRefused;
    }
    PrintLine(path.string() + ": " + FormatText(contents->format) + " " +
              MediumText(contents->medium) + ", " + std::to_string(contents->volumes.size()) +
              (contents->volumes.size() == 1 ? " volume, " : " volumes, ") +
              std::to_string(FileCount(*contents)) + " files, " + Kilobytes(contents->freeBytes) +
              " free");
    for (const disk::ImageVolume& volume : contents->volumes) {
        const std::string indent = volume.name.empty() ? "" : "  ";
        if (!volume.name.empty()) {
            PrintLine("volume " + transfer::EscapedDumpText(volume.name));
        }
        for (const disk::ImageProgram& program : volume.programs) {
            PrintLine(indent + "program " + transfer::EscapedDumpText(program.name) + " (" +
                      std::to_string(program.keygroups.size()) + " keygroups)");
            for (const disk::ImageKeygroup& keygroup : program.keygroups) {
                std::string line = indent + "  keys " + std::to_string(keygroup.lowKey) + "-" +
                                   std::to_string(keygroup.highKey) + ":";
                for (const disk::ImageZone& zone : keygroup.zones) {
                    line += " " + transfer::EscapedDumpText(zone.sampleName);
                }
                PrintLine(line);
            }
        }
        for (const disk::ImageSample& sample : volume.samples) {
            std::string line = indent + "sample " + transfer::EscapedDumpText(sample.name) + " (" +
                               std::to_string(sample.lengthWords) + " words, " +
                               std::to_string(sample.rate) + " Hz, root key " +
                               std::to_string(sample.rootKey);
            if (sample.loopMode != program::loopNone && !sample.loops.empty()) {
                const program::LoopSpec& loop = sample.loops[0];
                line += ", loop " + std::to_string(loop.at + 1 - loop.length) + "-" +
                        std::to_string(loop.at);
            }
            PrintLine(line + ")");
        }
    }
    for (const std::string& warning : contents->warnings) {
        Refused(path.string() + ": " + warning);
    }
    return contents->warnings.empty() ? exitOk : exitRefused;
}

int ExtractImage(const fs::path& path, const fs::path& outDir) {
    std::vector<std::uint8_t> bytes;
    const auto contents = ReadContents(path, bytes);
    if (!contents) {
        return exitRefused;
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        return Refused(outDir.string() + ": not a directory");
    }
    std::size_t written = 0;
    bool failed = !contents->warnings.empty();
    for (const std::string& warning : contents->warnings) {
        Refused(path.string() + ": " + warning);
    }
    for (const disk::ImageVolume& volume : contents->volumes) {
        // The volumes of a hard disk each get a folder of their own.
        fs::path directory = outDir;
        if (contents->volumes.size() > 1) {
            directory = FreeWavPath(outDir, volume.name).replace_extension();
            fs::create_directories(directory, ec);
        }
        for (const disk::ImageSample& sample : volume.samples) {
            std::vector<std::int16_t> words;
            if (const program::Status read = disk::ReadSampleWords(bytes, sample, words); !read) {
                Refused(path.string() + ": " + read.text);
                failed = true;
                continue;
            }
            const fs::path target = FreeWavPath(directory, sample.name);
            if (const auto result = program::ReplaceFile(target, WavOf(sample, words)); !result) {
                // Named, and the others are still written.
                Refused(FileProblem(target.string(), result));
                failed = true;
                continue;
            }
            PrintLine(target.string());
            ++written;
        }
    }
    PrintLine("Extracted " + std::to_string(written) + (written == 1 ? " sample" : " samples"));
    return failed ? exitRefused : exitOk;
}

int RunImageCommand(const ImageOptions& options) {
    const int actions = (options.list.empty() ? 0 : 1) + (options.extract.empty() ? 0 : 1) +
                        (options.program.empty() ? 0 : 1);
    if (actions != 1) {
        return UsageError("image takes one of PROGRAM.vmp, --list FILE or --extract FILE");
    }
    if (!options.list.empty()) {
        return ListImage(options.list);
    }
    if (!options.extract.empty()) {
        if (options.outDir.empty()) {
            return UsageError("--extract needs --out DIR");
        }
        return ExtractImage(options.extract, options.outDir);
    }
    return WriteImage(options);
}

class ImageCommand : public CliCommand {
public:
    explicit ImageCommand(CLI::App& parent)
        : CliCommand(parent, "image",
                     "image PROGRAM.vmp --model M --medium dd|hd|scsi -o FILE [--add | --force]\n"
                     "                    image --list FILE\n"
                     "                    image --extract FILE --out DIR",
                     "write the program as a disk image for the sampler's floppy or SCSI "
                     "emulator, under a temporary name then renamed (never half-written), or into "
                     "the free room of an image (--add); list what an image holds; or extract its "
                     "samples as 16-bit WAV files with their root key and loop. A refusal names "
                     "the limit (the medium's room, its directory, a name already taken, the "
                     "model's memory ...) and writes nothing") {
        App().add_option("PROGRAM.vmp", program, "the program to write");
        AddModelOption(model);
        App()
            .add_option("--medium", medium,
                        "dd: 800 KB double-density floppy; hd: 1.6 MB high-density floppy (S950 "
                        "and the S1000 family); scsi: SCSI hard disk (S1000 family)")
            ->type_name("dd|hd|scsi");
        App().add_option("-o", output, "the image to write")->type_name("FILE");
        App().add_flag("--add", add,
                       "write the program into the image FILE, leaving what it holds");
        App().add_flag("--force", force, "replace an existing FILE");
        App()
            .add_option("--list", list, "list the volumes, programs and samples of an image")
            ->type_name("FILE");
        App()
            .add_option("--extract", extract, "write the samples of an image as WAV files")
            ->type_name("FILE");
        App().add_option("--out", outDir, "where --extract writes")->type_name("DIR");
        AddAllowRateOption(allowRate);
    }

    int Run() override {
        ImageOptions options;
        options.program = program;
        options.model = model.value_or(-1);
        options.medium = medium;
        options.output = output;
        options.add = add;
        options.force = force;
        options.list = list;
        options.extract = extract;
        options.outDir = outDir;
        options.allowRate = allowRate;
        return RunImageCommand(options);
    }

private:
    std::string program;
    std::optional<std::int32_t> model;
    std::string medium;
    std::string output;
    bool add = false;
    bool force = false;
    std::string list;
    std::string extract;
    std::string outDir;
    bool allowRate = false;
};

} // namespace

std::unique_ptr<CliCommand> MakeImageCommand(CLI::App& parent) {
    return std::make_unique<ImageCommand>(parent);
}

} // namespace velomire::cli
