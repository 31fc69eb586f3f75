#include "transfer/families/s900/S900DiskFiles.h"

#include "program/ByteReader.h"
#include "program/StereoNames.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/s900/S900Blocks.h"

#include <algorithm>
#include <memory>

namespace velomire::disk {

namespace {

// The header's sample rate is 16 bits.
constexpr std::uint32_t highestRate = 65535;

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    program::ByteReader in(bytes.subspan(at, 4));
    return in.U32();
}

std::string NameAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::string name(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + S900FloppyImage::nameChars));
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

} // namespace

std::size_t S900PackedBytes(std::uint32_t words) {
    const std::size_t half = (std::size_t{words} + 1) / 2;
    return 3 * half;
}

std::vector<std::uint8_t> PackS900Words(std::span<const std::int16_t> words) {
    const std::size_t half = (words.size() + 1) / 2;
    const auto word = [&](std::size_t i) -> unsigned {
        return i < words.size() ? static_cast<unsigned>(words[i]) & 0xFFFu : 0u;
    };
    std::vector<std::uint8_t> packed(3 * half);
    for (std::size_t i = 0; i < half; ++i) {
        const unsigned a = word(i);
        const unsigned b = word(half + i);
        packed[2 * i] = static_cast<std::uint8_t>(((a & 0xFu) << 4) | (b & 0xFu));
        packed[2 * i + 1] = static_cast<std::uint8_t>(a >> 4);
        packed[2 * half + i] = static_cast<std::uint8_t>(b >> 4);
    }
    return packed;
}

std::optional<std::vector<std::int16_t>> UnpackS900Words(std::span<const std::uint8_t> packed,
                                                         std::uint32_t count) {
    const std::size_t half = (std::size_t{count} + 1) / 2;
    if (packed.size() < 3 * half) {
        return std::nullopt;
    }
    std::vector<std::int16_t> words(2 * half);
    const auto signed12 = [](unsigned v) {
        return static_cast<std::int16_t>(v >= 2048 ? v - 4096 : v);
    };
    for (std::size_t i = 0; i < half; ++i) {
        const unsigned nibbles = packed[2 * i];
        words[i] = signed12((unsigned{packed[2 * i + 1]} << 4) | (nibbles >> 4));
        words[half + i] = signed12((unsigned{packed[2 * half + i]} << 4) | (nibbles & 0xFu));
    }
    words.resize(count);
    return words;
}

std::optional<S900Sample> ReadS900SampleHeader(std::span<const std::uint8_t> file,
                                               std::string& error) {
    if (file.size() < s900SampleHeaderBytes) {
        error = "a sample file shorter than its 60-byte header";
        return std::nullopt;
    }
    program::ByteReader in(file);
    S900Sample sample;
    sample.name = NameAt(file, 0);
    const std::uint32_t count = U32At(file, 16);
    in.Skip(20);
    sample.rate = in.U16();
    sample.tuning = in.U16();
    in.Skip(2);
    sample.loopMode = static_cast<char>(in.U8());
    sample.endPoint = U32At(file, 28);
    sample.firstReplayPoint = U32At(file, 32);
    sample.loopLength = U32At(file, 36);
    if (S900PackedBytes(count) > file.size() - s900SampleHeaderBytes) {
        error = "sample " + sample.name + " announces " + std::to_string(count) +
                " words, more than its file holds";
        return std::nullopt;
    }
    sample.words.resize(count); // a size for the caller; the words are read on demand
    return sample;
}

std::optional<S900Sample> ReadS900Sample(std::span<const std::uint8_t> file, std::string& error) {
    auto sample = ReadS900SampleHeader(file, error);
    if (!sample) {
        return std::nullopt;
    }
    const auto count = static_cast<std::uint32_t>(sample->words.size());
    sample->words = *UnpackS900Words(file.subspan(s900SampleHeaderBytes), count);
    return sample;
}

std::optional<S900ProgramInfo> ReadS900Program(std::span<const std::uint8_t> file,
                                               std::string& error) {
    if (file.size() < s900ProgramHeaderBytes) {
        error = "a program file shorter than its 38-byte header";
        return std::nullopt;
    }
    S900ProgramInfo program;
    program.name = NameAt(file, 0);
    for (std::size_t at = s900ProgramHeaderBytes; at + s900KeygroupBytes <= file.size();
         at += s900KeygroupBytes) {
        program.keygroups.push_back({file[at + 1], file[at], NameAt(file, at + 24), file[at + 19]});
    }
    return program;
}

S900FilesResult S900FilesOf(const program::Program& source, std::int32_t model, SampleWords& words,
                            ImageProgress* progress) {
    S900FilesResult result;
    const auto info = transfer::SamplerModel::Find(model);
    if (transfer::SamplerModel::Family(model) != transfer::SamplerFamily::s900 || !info) {
        result.refusal = "Only the S900 and the S950 read these floppies.";
        return result;
    }
    if (source.sampleCount <= 0) {
        result.refusal = "The program has no samples.";
        return result;
    }
    std::uint64_t totalWords = 0;
    std::uint32_t parts = 0;
    for (int entry = 0; entry < source.sampleCount; ++entry) {
        const program::SampleBlock& sample = source.samples[static_cast<std::size_t>(entry)].sample;
        const std::string fileName = program::FieldText(sample.fileName);
        if (sample.headerRate > highestRate) {
            result.refusal = fileName + " is sampled at " + std::to_string(sample.headerRate) +
                             " Hz; the " + std::string(info->shortName) +
                             " takes 65535 Hz at most.";
            return result;
        }
        const auto partCount = program::PartsOf(sample.sendMode).size();
        totalWords += partCount * std::uint64_t{sample.lengthWords};
        parts += static_cast<std::uint32_t>(partCount);
    }
    const std::uint32_t memory = info->memoryWords;
    if (totalWords > memory) {
        result.refusal = "The program has " + std::to_string(totalWords) + " sample words; the " +
                         std::string(info->shortName) + " holds " + std::to_string(memory) + ".";
        return result;
    }

    std::uint64_t done = 0;
    for (int entry = 0; entry < source.sampleCount; ++entry) {
        const program::SampleEntry& row = source.samples[static_cast<std::size_t>(entry)];
        for (int part : program::PartsOf(row.sample.sendMode)) {
            if (progress != nullptr && progress->Cancelled()) {
                result.refusal = "Cancelled.";
                return result;
            }
            std::vector<std::int16_t> read;
            if (const program::Status status = words.Read(row, part, read); !status) {
                result.refusal = status.text;
                return result;
            }
            S900DiskFile file{"", 'S', transfer::s900::SampleHeaderBlock(row.sample, part)};
            if (file.bytes.size() != s900SampleHeaderBytes ||
                read.size() != row.sample.lengthWords) {
                result.refusal = "The sample " + program::FieldText(row.sample.sampleName) +
                                 " did not come out whole.";
                return result;
            }
            // The floppy keeps the top 12 bits of each word, as the sample dump sends them.
            for (std::int16_t& word : read) {
                word = static_cast<std::int16_t>(word >> 4);
            }
            file.name = std::string(file.bytes.begin(), file.bytes.begin() + 10);
            const std::vector<std::uint8_t> packed = PackS900Words(read);
            file.bytes.insert(file.bytes.end(), packed.begin(), packed.end());
            result.files.push_back(std::move(file));
            done += read.size();
            if (progress != nullptr) {
                progress->Progress(done, totalWords);
            }
        }
    }

    // The program as a send puts it out, with the MIDI program number the sampler gives itself
    // left at 0.
    auto program = std::make_unique<program::Program>(source);
    program->transferSampleCount = parts;
    program->header.programParams[0] = 0;
    S900DiskFile programFile{"", 'P', transfer::s900::ProgramBlock(*program)};
    if (programFile.bytes.size() != s900ProgramHeaderBytes + parts * s900KeygroupBytes) {
        result.refusal = "The program did not come out whole.";
        return result;
    }
    programFile.name = std::string(programFile.bytes.begin(), programFile.bytes.begin() + 10);
    result.files.push_back(std::move(programFile));
    return result;
}

S900Needs S900NeedsOf(const program::Program& program) {
    S900Needs needs;
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    for (int entry = 0; entry < count; ++entry) {
        const program::SampleBlock& sample =
            program.samples[static_cast<std::size_t>(entry)].sample;
        const std::size_t parts = program::PartsOf(sample.sendMode).size();
        needs.files += parts;
        needs.blocks += parts * S900FloppyImage::BlocksFor(s900SampleHeaderBytes +
                                                           S900PackedBytes(sample.lengthWords));
    }
    needs.blocks +=
        S900FloppyImage::BlocksFor(s900ProgramHeaderBytes + needs.files * s900KeygroupBytes);
    ++needs.files;
    return needs;
}

S900ImageResult S900ImageOf(const program::Program& program, std::int32_t model,
                            FloppyDensity density, SampleWords& words,
                            std::optional<std::span<const std::uint8_t>> existing,
                            ImageProgress* progress) {
    S900ImageResult result;
    std::optional<S900FloppyImage> floppy;
    if (existing) {
        std::string error;
        floppy = S900FloppyImage::Parse(*existing, error);
        if (!floppy) {
            result.refusal = "The image cannot be added to: " + error + ".";
            return result;
        }
        density = floppy->Density();
    } else {
        floppy.emplace(density);
    }
    if (const auto info = transfer::SamplerModel::Find(model);
        info && !info->readsHdFloppies && density == FloppyDensity::hd) {
        result.refusal =
            "The " + std::string(info->shortName) + " reads double-density (800 KB) floppies only.";
        return result;
    }
    // The room first: no sample is read for a program that cannot fit.
    const S900Needs needs = S900NeedsOf(program);
    if (auto refused = floppy->Fits(needs.blocks, needs.files)) {
        result.refusal = std::move(*refused);
        return result;
    }
    S900FilesResult files = S900FilesOf(program, model, words, progress);
    if (!files.refusal.empty()) {
        result.refusal = std::move(files.refusal);
        return result;
    }
    if (auto refused = floppy->Add(files.files)) {
        result.refusal = std::move(*refused);
        return result;
    }
    result.files = files.files.size();
    result.freeBlocks = floppy->FreeBlocks();
    result.image = floppy->Bytes();
    return result;
}

} // namespace velomire::disk
