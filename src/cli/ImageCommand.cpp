#include "cli/ImageCommand.h"

#include "cli/CliApp.h"
#include "cli/StderrMessages.h"
#include "disk/S900DiskFiles.h"
#include "disk/S900FloppyImage.h"
#include "program/ByteWriter.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/SafeFile.h"
#include "program/WavWriter.h"
#include "transfer/SamplerModel.h"
#include "transfer/SysExDecoder.h"

#include <iostream>
#include <memory>

namespace velomire::cli {

namespace {

namespace fs = std::filesystem;

// The largest image read: SCSI images of these samplers stay far below.
constexpr std::uintmax_t largestImage = std::uintmax_t{1} << 30;

int Refused(const std::string& message) {
    std::cerr << messagePrefix << TerminalText(message) << '\n';
    return exitRefused;
}

int UsageError(const std::string& message) {
    std::cerr << messagePrefix << TerminalText(message) << " (see velomire-cli image --help)\n";
    return exitUsage;
}

std::string FileProblem(const fs::path& path, const program::FileResult& result) {
    std::string text = path.string() + ": " + result.text;
    if (!result.detail.empty()) {
        text += " (" + result.detail + ")";
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> ReadImage(const fs::path& path, std::string& problem) {
    std::vector<std::uint8_t> bytes;
    const auto read = program::ReadRegularFile(
        path, largestImage, "Error: the file is larger than a disk image of these samplers", bytes);
    if (!read) {
        problem = FileProblem(path, read);
        return std::nullopt;
    }
    return bytes;
}

std::string Kilobytes(std::size_t blocks) {
    return std::to_string(blocks) + " KB";
}

std::string DensityText(disk::FloppyDensity density) {
    return density == disk::FloppyDensity::dd ? "double density (800 KB)" : "high density (1.6 MB)";
}

// A "smpl" chunk: the root key and, for a looping sample, its loop (first and last frame).
std::vector<std::uint8_t> SmplChunk(std::uint32_t rate, const disk::S900Sample& sample) {
    std::vector<std::uint8_t> chunk = {'s', 'm', 'p', 'l'};
    program::ByteWriter out(chunk);
    const bool loops = sample.loopMode != 'O' && sample.loopLength > 0 &&
                       std::uint64_t{sample.loopStart} + sample.loopLength <= sample.words.size();
    out.U32(36 + (loops ? 24 : 0));
    out.U32(0);                                                                // manufacturer
    out.U32(0);                                                                // product
    out.U32(rate == 0 ? 0 : static_cast<std::uint32_t>(1000000000ull / rate)); // ns
    out.U32(sample.tuning / 16u);
    out.U32((sample.tuning % 16u) << 28); // the sixteenths as a fraction of a semitone
    out.U32(0);
    out.U32(0);
    out.U32(loops ? 1 : 0);
    out.U32(0);
    if (loops) {
        out.U32(0);                                // cue point
        out.U32(sample.loopMode == 'A' ? 1u : 0u); // alternating or forward
        out.U32(sample.loopStart);
        out.U32(sample.loopStart + sample.loopLength - 1);
        out.U32(0);
        out.U32(0); // for ever
    }
    return chunk;
}

// A 16-bit mono WAV of the 12-bit words (in the top 12 bits), with its smpl chunk.
std::vector<std::uint8_t> WavOf(const disk::S900Sample& sample) {
    std::vector<std::int16_t> frames(sample.words.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(sample.words[i]) << 4);
    }
    std::vector<std::uint8_t> wav = program::WavWriter::Image(1, sample.rate, frames);
    const std::vector<std::uint8_t> smpl = SmplChunk(sample.rate, sample);
    wav.insert(wav.end(), smpl.begin(), smpl.end());
    const auto riffSize = static_cast<std::uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) {
        wav[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    }
    return wav;
}

int WriteImage(const ImageOptions& options) {
    if (options.program.empty() || options.output.empty() || options.model < 0) {
        return UsageError("image needs PROGRAM.vmp, --model M and -o FILE");
    }
    if (!options.add && options.medium.empty()) {
        return UsageError("image needs --medium dd, hd or scsi (or --add into an image)");
    }
    if (!options.medium.empty() && options.medium != "dd" && options.medium != "hd" &&
        options.medium != "scsi") {
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

    const transfer::SamplerFamily family = transfer::SamplerModel::Family(options.model);
    const auto info = transfer::SamplerModel::Find(options.model);
    if (family != transfer::SamplerFamily::s900) {
        return Refused("disk images for the " + std::string(info ? info->shortName : "") +
                       " are not written yet; the S900 and S950 floppies are");
    }
    if (options.medium == "scsi") {
        return Refused("the " + std::string(info->shortName) + " uses floppies: --medium dd or hd");
    }

    const fs::file_status status = fs::status(outPath, ec);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) {
        return Refused(options.output.string() +
                       ": exists and is not a regular file; nothing was written");
    }
    if (exists && !options.add) {
        // An image is replaced with --force; a program file never (its loader takes almost any
        // bytes, so an image is asked first).
        std::string problem;
        std::string error;
        const auto bytes = ReadImage(outPath, problem);
        auto holder = std::make_unique<program::Program>();
        if (bytes && !disk::S900FloppyImage::Parse(*bytes, error) &&
            program::ProgramFile::Load(*bytes, *holder)) {
            return Refused(options.output.string() + ": is a program file; nothing was written");
        }
        if (!options.force) {
            return Refused(options.output.string() +
                           ": exists; nothing was written (--add writes the program into it, "
                           "--force replaces it)");
        }
    }
    std::optional<std::vector<std::uint8_t>> existing;
    if (options.add) {
        std::string problem;
        existing = ReadImage(outPath, problem);
        if (!existing) {
            return Refused(problem + "; nothing was written");
        }
    }

    auto program = std::make_unique<program::Program>();
    if (fs::equivalent(programPath, outPath, ec)) {
        return Refused(options.output.string() + ": is the program file; nothing was written");
    }
    const auto loaded = program::ProgramFile::LoadFile(programPath, *program);
    if (!loaded) {
        return Refused(FileProblem(options.program, loaded));
    }
    program->SetProgramPath(programPath, false);

    disk::FloppyDensity density =
        options.medium == "hd" ? disk::FloppyDensity::hd : disk::FloppyDensity::dd;
    if (existing) {
        std::string error;
        if (const auto floppy = disk::S900FloppyImage::Parse(*existing, error)) {
            if (!options.medium.empty() && floppy->Density() != density) {
                return Refused(options.output.string() + ": is a " +
                               DensityText(floppy->Density()) + " floppy, not --medium " +
                               options.medium + "; nothing was written");
            }
        }
    }
    const disk::S900ImageResult result =
        existing ? disk::S900ImageOf(*program, options.model, density,
                                     std::span<const std::uint8_t>(*existing))
                 : disk::S900ImageOf(*program, options.model, density);
    if (!result.refusal.empty()) {
        return Refused(options.output.string() + ": " + result.refusal + " Nothing was written.");
    }
    // Through a temporary file renamed over the target: never half-written.
    if (const auto written = program::ReplaceFile(outPath, result.image); !written) {
        return Refused(FileProblem(options.output, written));
    }
    PrintLine("Wrote " + options.output.string() + ": " + std::to_string(result.files) +
              (options.add ? " files added, " : " files, ") + Kilobytes(result.freeBlocks) +
              " free");
    return exitOk;
}

int ListImage(const fs::path& path) {
    std::string problem;
    const auto bytes = ReadImage(path, problem);
    if (!bytes) {
        return Refused(problem);
    }
    std::string error;
    const auto floppy = disk::S900FloppyImage::Parse(*bytes, error);
    if (!floppy) {
        return Refused(path.string() + ": " + error);
    }
    PrintLine(path.string() + ": S900/S950 floppy, " + DensityText(floppy->Density()) + ", " +
              std::to_string(floppy->Entries().size()) + " files, " +
              Kilobytes(floppy->FreeBlocks()) + " free");
    bool damaged = false;
    for (const disk::S900DirEntry& entry : floppy->Entries()) {
        const std::string name = transfer::EscapedDumpText(entry.name);
        const std::vector<std::uint8_t> file = floppy->FileBytes(entry);
        if (entry.type == 'S') {
            const auto sample = disk::ReadS900Sample(file, error);
            if (!sample) {
                PrintLine(std::string("sample ")
                              .append(name)
                              .append(" (damaged: ")
                              .append(error)
                              .append(")"));
                damaged = true;
                continue;
            }
            std::string line = "sample " + name + " (" + std::to_string(sample->words.size()) +
                               " words, " + std::to_string(sample->rate) + " Hz, root key " +
                               std::to_string(sample->tuning / 16);
            if (sample->loopMode != 'O') {
                line += ", loop " + std::to_string(sample->loopStart) + "-" +
                        std::to_string(sample->loopStart + sample->loopLength - 1);
            }
            PrintLine(line + ")");
        } else if (entry.type == 'P') {
            const auto program = disk::ReadS900Program(file, error);
            if (!program) {
                PrintLine(std::string("program ")
                              .append(name)
                              .append(" (damaged: ")
                              .append(error)
                              .append(")"));
                damaged = true;
                continue;
            }
            PrintLine("program " + name + " (" + std::to_string(program->keygroups.size()) +
                      " keygroups)");
            for (const disk::S900Keygroup& keygroup : program->keygroups) {
                PrintLine("  keys " + std::to_string(keygroup.lowKey) + "-" +
                          std::to_string(keygroup.highKey) + ": " +
                          transfer::EscapedDumpText(keygroup.sampleName));
            }
        } else {
            PrintLine("file " + name + " (type " +
                      transfer::EscapedDumpText(std::string(1, entry.type)) + ", " +
                      std::to_string(entry.length) + " bytes)");
        }
    }
    return damaged ? exitRefused : exitOk;
}

int ExtractImage(const fs::path& path, const fs::path& outDir) {
    std::string problem;
    const auto bytes = ReadImage(path, problem);
    if (!bytes) {
        return Refused(problem);
    }
    std::string error;
    const auto floppy = disk::S900FloppyImage::Parse(*bytes, error);
    if (!floppy) {
        return Refused(path.string() + ": " + error);
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        return Refused(outDir.string() + ": not a directory");
    }
    std::size_t written = 0;
    bool failed = false;
    for (const disk::S900DirEntry& entry : floppy->Entries()) {
        if (entry.type != 'S') {
            continue;
        }
        const auto sample = disk::ReadS900Sample(floppy->FileBytes(entry), error);
        if (!sample) {
            Refused(path.string() + ": sample " + entry.name + ": " + error);
            failed = true;
            continue;
        }
        const fs::path target = FreeWavPath(outDir, entry.name);
        if (const auto result = program::ReplaceFile(target, WavOf(*sample)); !result) {
            return Refused(FileProblem(target, result));
        }
        PrintLine(target.string());
        ++written;
    }
    PrintLine("Extracted " + std::to_string(written) + (written == 1 ? " sample" : " samples"));
    return failed ? exitRefused : exitOk;
}

} // namespace

fs::path FreeWavPath(const fs::path& directory, const std::string& name) {
    std::string safe;
    for (const char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '#' || c == ' ';
        safe.push_back(plain ? c : '_');
    }
    // Padding inside a name ("PAD     -L") is one space in a file name.
    std::string collapsed;
    for (const char c : safe) {
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) {
            collapsed.push_back(c);
        }
    }
    safe = collapsed;
    while (!safe.empty() && safe.back() == ' ') {
        safe.pop_back();
    }
    if (safe.empty()) {
        safe = "sample";
    }
    std::error_code ec;
    fs::path path = directory / (safe + ".wav");
    for (int n = 2; fs::exists(fs::symlink_status(path, ec)); ++n) {
        path = directory / (safe + "-" + std::to_string(n) + ".wav");
    }
    return path;
}

const char* const imageHelp =
    R"(usage: velomire-cli image PROGRAM.vmp --model M --medium dd|hd|scsi -o FILE [--add | --force]
       velomire-cli image --list FILE
       velomire-cli image --extract FILE --out DIR
write the program as a disk image for the sampler's floppy (a Gotek or other floppy emulator
reads the file), list what an image holds, or extract its samples as WAV files
  --model M               the sampler: S900 or S950 (floppies); see velomire-cli send --help
  --medium dd|hd|scsi     800 KB double-density floppy, 1.6 MB high-density floppy (S950),
                          SCSI hard disk
  -o FILE                 the image to write (a new file, under a temporary name then renamed)
  --add                   write the program into the free space of the image FILE, leaving
                          what it holds untouched
  --force                 replace an existing FILE
  --list FILE             list the programs and samples of an image
  --extract FILE          write every sample of an image into DIR as a 16-bit WAV file with its
                          root key and loop; names already in DIR get "-2", "-3"...
  --out DIR               where --extract writes
exit status: 0 done, 1 refused (naming the limit: the medium's size, its 64 files, a name
already taken, the model's memory...) or failed, 2 usage error
)";

int ImageMain(const std::vector<std::string>& args) {
    ImageOptions options;
    std::string modelText;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--add") {
            options.add = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--model" || arg == "--medium" || arg == "-o" || arg == "--list" ||
                   arg == "--extract" || arg == "--out") {
            if (!value(text)) {
                return UsageError(arg + " needs a value");
            }
            if (arg == "--model") {
                modelText = text;
            } else if (arg == "--medium") {
                options.medium = text;
            } else if (arg == "-o") {
                options.output = text;
            } else if (arg == "--list") {
                options.list = text;
            } else if (arg == "--extract") {
                options.extract = text;
            } else {
                options.outDir = text;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (options.program.empty()) {
            options.program = arg;
        } else {
            return UsageError("image takes one program file");
        }
    }
    if (!modelText.empty()) {
        const auto model = transfer::SamplerModel::Parse(modelText);
        if (!model) {
            return UsageError("unknown model '" + modelText + "'");
        }
        options.model = *model;
    }
    return RunImageCommand(options);
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

} // namespace velomire::cli
