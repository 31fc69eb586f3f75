#include "instrument/SfzReader.h"

#include "program/SafeFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <map>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

// The most notes kept for the instrument as a whole; the rest are counted.
constexpr std::size_t maxNotes = 200;

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

template <typename T> std::optional<T> Number(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Whether `path` lies inside `root` (both lexically normal and absolute).
bool Inside(const fs::path& path, const fs::path& root) {
    const fs::path relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

enum class Level { control, global, master, group, region, other };
constexpr std::size_t opcodeLevels = 4; // global, master, group, region

using Opcodes = std::vector<std::pair<std::string, std::string>>; // lower-case name, value

// The opcodes every zone field takes; anything else is named as not carried.
constexpr std::array carriedOpcodes = {"sample",          "key",          "lokey",     "hikey",
                                       "pitch_keycenter", "lovel",        "hivel",     "tune",
                                       "transpose",       "offset",       "end",       "loop_mode",
                                       "loopmode",        "loop_start",   "loopstart", "loop_end",
                                       "loopend",         "volume",       "pan",       "trigger",
                                       "seq_length",      "seq_position", "lorand",    "hirand"};

bool Carried(std::string_view name) {
    return std::find(carriedOpcodes.begin(), carriedOpcodes.end(), name) != carriedOpcodes.end();
}

class SfzParser {
public:
    SfzParser(const fs::path& sfzFile, const SfzFileReader& readInclude, const SfzLimits& limits)
        : readInclude(readInclude), limits(limits) {
        std::error_code ec;
        mainFile = fs::absolute(sfzFile, ec).lexically_normal();
        folder = mainFile.parent_path();
        parentFolder = folder.parent_path();
        instrument.name = mainFile.stem().string();
    }

    std::optional<Instrument> Parse(std::string_view text, std::string& error) {
        if (!Process(text, mainFile, 0)) {
            error = this->error;
            return std::nullopt;
        }
        if (!FlushRegion()) {
            error = this->error;
            return std::nullopt;
        }
        if (skippedNotes > 0) {
            instrument.notes.push_back("and " + std::to_string(skippedNotes) + " more notes");
        }
        return std::move(instrument);
    }

private:
    bool Fail(const fs::path& file, std::size_t line, const std::string& why) {
        error = file.filename().string();
        if (line > 0) {
            error += ":" + std::to_string(line);
        }
        error += ": " + why;
        return false;
    }

    void Note(std::string note) {
        if (instrument.notes.size() < maxNotes) {
            instrument.notes.push_back(std::move(note));
        } else {
            ++skippedNotes;
        }
    }

    // Checks a path an opcode or #include names and makes it absolute: relative, inside the
    // instrument's folder or its parent folder, also once links are followed.
    std::optional<fs::path> Resolve(std::string_view given, std::string& why) const {
        std::string text(given);
        std::replace(text.begin(), text.end(), '\\', '/');
        const bool drive = text.size() >= 2 && text[1] == ':' &&
                           std::isalpha(static_cast<unsigned char>(text[0])) != 0;
        if (text.empty() || text.front() == '/' || drive || fs::path(text).is_absolute()) {
            why = "is absolute";
            return std::nullopt;
        }
        const fs::path full = (folder / fs::path(text)).lexically_normal();
        std::error_code ec;
        const fs::path real = fs::weakly_canonical(full, ec);
        const fs::path realRoot = fs::weakly_canonical(parentFolder, ec);
        if (!Inside(full, parentFolder) || (!ec && !Inside(real, realRoot))) {
            why = "lies outside the instrument's folder and its parent folder";
            return std::nullopt;
        }
        return full;
    }

    std::string Expand(std::string_view line) const {
        if (defines.empty() || line.find('$') == std::string_view::npos) {
            return std::string(line);
        }
        std::string out;
        std::size_t i = 0;
        while (i < line.size()) {
            if (line[i] != '$') {
                out += line[i++];
                continue;
            }
            std::size_t j = i + 1;
            while (j < line.size() && IsNameChar(line[j])) {
                ++j;
            }
            const auto found = defines.find(std::string(line.substr(i, j - i)));
            if (found == defines.end()) {
                out += line[i++];
                continue;
            }
            out += found->second;
            i = j;
            if (out.size() > limits.lineBytes) {
                return out; // the caller refuses it
            }
        }
        return out;
    }

    bool Process(std::string_view text, const fs::path& file, int depth) {
        totalBytes += text.size();
        if (totalBytes > limits.totalBytes) {
            return Fail(mainFile, 0,
                        "the instrument and its #include files hold more than " +
                            std::to_string(limits.totalBytes >> 20) + " MB of text");
        }
        bool inBlockComment = false;
        std::size_t lineNumber = 0;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            ++lineNumber;
            std::string_view raw = text.substr(start, end - start);
            start = end + 1;
            if (raw.size() > limits.lineBytes) {
                return Fail(file, lineNumber,
                            "a line longer than " + std::to_string(limits.lineBytes) + " bytes");
            }
            // Comments: // to the end of the line, /* ... */ across lines.
            std::string line;
            line.reserve(raw.size());
            const bool plain = !inBlockComment && raw.find('/') == std::string_view::npos;
            if (plain) {
                line = raw; // nothing to strip
            }
            for (std::size_t i = 0; !plain && i < raw.size(); ++i) {
                if (inBlockComment) {
                    if (raw.compare(i, 2, "*/") == 0) {
                        inBlockComment = false;
                        ++i;
                    }
                } else if (raw.compare(i, 2, "//") == 0) {
                    break;
                } else if (raw.compare(i, 2, "/*") == 0) {
                    inBlockComment = true;
                    ++i;
                } else {
                    line += raw[i];
                }
            }
            const std::string_view trimmed = Trim(line);
            if (trimmed.starts_with("#define")) {
                if (!Define(trimmed.substr(7), file, lineNumber)) {
                    return false;
                }
            } else if (trimmed.starts_with("#include")) {
                if (!Include(trimmed.substr(8), file, lineNumber, depth)) {
                    return false;
                }
            } else if (!trimmed.empty()) {
                const std::string expanded = Expand(trimmed);
                if (expanded.size() > limits.lineBytes) {
                    return Fail(file, lineNumber,
                                "a line longer than " + std::to_string(limits.lineBytes) +
                                    " bytes once its #define names are replaced");
                }
                if (!Tokens(expanded, file, lineNumber)) {
                    return false;
                }
            }
            if (end == text.size()) {
                break;
            }
        }
        return true;
    }

    bool Define(std::string_view rest, const fs::path& file, std::size_t line) {
        rest = Trim(rest);
        std::size_t nameEnd = 0;
        while (nameEnd < rest.size() && !IsSpace(rest[nameEnd])) {
            ++nameEnd;
        }
        const std::string_view name = rest.substr(0, nameEnd);
        if (name.size() < 2 || name.front() != '$' ||
            !std::all_of(name.begin() + 1, name.end(), IsNameChar)) {
            return Fail(file, line, "#define needs a $NAME and a value");
        }
        if (defines.size() >= limits.defines && !defines.contains(std::string(name))) {
            return Fail(file, line,
                        "more than " + std::to_string(limits.defines) + " #define names");
        }
        defines[std::string(name)] = std::string(Trim(rest.substr(nameEnd)));
        return true;
    }

    bool Include(std::string_view rest, const fs::path& file, std::size_t line, int depth) {
        const std::string expanded = Expand(Trim(rest));
        std::string_view quoted = expanded;
        if (quoted.size() < 2 || quoted.front() != '"' || quoted.find('"', 1) == quoted.npos) {
            return Fail(file, line, "#include needs a file name in double quotes");
        }
        const std::string_view given = quoted.substr(1, quoted.find('"', 1) - 1);
        if (depth + 1 > limits.includeDepth) {
            return Fail(file, line,
                        "#include files nested more than " + std::to_string(limits.includeDepth) +
                            " deep");
        }
        if (++includes > limits.includes) {
            return Fail(file, line,
                        "more than " + std::to_string(limits.includes) + " #include lines");
        }
        std::string why;
        const auto target = Resolve(given, why);
        if (!target) {
            return Fail(file, line, "#include \"" + std::string(given) + "\" " + why);
        }
        std::error_code ec;
        const fs::path real = fs::weakly_canonical(*target, ec);
        for (const fs::path& open : includeStack) {
            if (open == real) {
                return Fail(file, line,
                            "#include \"" + std::string(given) + "\" includes itself again");
            }
        }
        if (real == fs::weakly_canonical(mainFile, ec)) {
            return Fail(file, line,
                        "#include \"" + std::string(given) + "\" includes itself again");
        }
        std::string text;
        std::string readError;
        if (!readInclude || !readInclude(*target, text, readError)) {
            return Fail(file, line,
                        "#include \"" + std::string(given) + "\" cannot be read" +
                            (readError.empty() ? std::string() : ": " + readError));
        }
        if (text.size() > limits.fileBytes) {
            return Fail(*target, 0,
                        "larger than " + std::to_string(limits.fileBytes >> 20) + " MB");
        }
        includeStack.push_back(real);
        const bool ok = Process(text, *target, depth + 1);
        includeStack.pop_back();
        return ok;
    }

    // The headers and opcodes of one line. An opcode's value runs to the next header or the next
    // "name=" after a space, so that sample paths may hold spaces.
    bool Tokens(std::string_view line, const fs::path& file, std::size_t lineNumber) {
        std::size_t i = 0;
        while (i < line.size()) {
            if (IsSpace(line[i])) {
                ++i;
                continue;
            }
            if (line[i] == '<') {
                const std::size_t close = line.find('>', i);
                if (close == std::string_view::npos) {
                    return Fail(file, lineNumber, "a header without its '>'");
                }
                if (!Header(Lower(line.substr(i + 1, close - i - 1)), file, lineNumber)) {
                    return false;
                }
                i = close + 1;
                continue;
            }
            const std::size_t equals = line.find('=', i);
            std::size_t nameEnd = i;
            while (nameEnd < line.size() && IsNameChar(line[nameEnd])) {
                ++nameEnd;
            }
            if (equals == std::string_view::npos || nameEnd != equals || nameEnd == i) {
                // Not an opcode: skip the word, say so once per line.
                Note(file.filename().string() + ":" + std::to_string(lineNumber) +
                     ": text that is no header and no opcode was ignored");
                while (i < line.size() && !IsSpace(line[i]) && line[i] != '<') {
                    ++i;
                }
                continue;
            }
            // The value ends before the next header or before whitespace followed by "name=".
            std::size_t valueEnd = equals + 1;
            std::size_t j = equals + 1;
            while (j < line.size()) {
                if (line[j] == '<') {
                    break;
                }
                if (!IsSpace(line[j])) {
                    valueEnd = ++j;
                    continue;
                }
                while (j < line.size() && IsSpace(line[j])) {
                    ++j;
                }
                std::size_t k = j;
                while (k < line.size() && IsNameChar(line[k])) {
                    ++k;
                }
                if (j == line.size() || line[j] == '<' ||
                    (k > j && k < line.size() && line[k] == '=')) {
                    break;
                }
                valueEnd = k > j ? k : j;
                j = valueEnd;
            }
            Opcode(Lower(line.substr(i, nameEnd - i)),
                   std::string(Trim(line.substr(equals + 1, valueEnd - equals - 1))));
            i = j;
        }
        return true;
    }

    bool Header(const std::string& name, const fs::path& file, std::size_t line) {
        if (level == Level::region && !FlushRegion()) {
            return false;
        }
        if (name == "control") {
            level = Level::control;
        } else if (name == "global") {
            level = Level::global;
            for (auto& opcodes : levels) {
                opcodes.clear();
            }
        } else if (name == "master") {
            level = Level::master;
            levels[1].clear();
            levels[2].clear();
        } else if (name == "group") {
            level = Level::group;
            levels[2].clear();
        } else if (name == "region") {
            level = Level::region;
            levels[3].clear();
            regionFile = file;
            regionLine = line;
            if (++regionCount > limits.regions) {
                return Fail(file, line,
                            "more than " + std::to_string(limits.regions) +
                                " regions; no sampler program holds so many");
            }
        } else {
            level = Level::other;
            if (otherHeaders.insert(name).second) {
                Note("<" + name + "> not carried");
            }
        }
        return true;
    }

    void Opcode(std::string name, std::string value) {
        switch (level) {
        case Level::control:
            if (name == "default_path") {
                std::replace(value.begin(), value.end(), '\\', '/');
                defaultPath = value;
            } else if (controlNoted.insert(name).second) {
                Note("<control> " + name + " not carried");
            }
            return;
        case Level::other:
            return;
        case Level::global:
        case Level::master:
        case Level::group:
        case Level::region:
            break;
        }
        Opcodes& opcodes = levels[static_cast<std::size_t>(level) - 1];
        for (auto& [existing, existingValue] : opcodes) {
            if (existing == name) {
                existingValue = std::move(value);
                return;
            }
        }
        opcodes.emplace_back(std::move(name), std::move(value));
    }

    // The value the region gets for `name`, from the most specific level that sets it, and that
    // level (0 global ... 3 region).
    std::optional<std::pair<std::string_view, int>> Find(std::string_view name) const {
        for (std::size_t l = opcodeLevels; l-- > 0;) {
            for (const auto& [existing, value] : levels[l]) {
                if (existing == name) {
                    return std::pair<std::string_view, int>{value, static_cast<int>(l)};
                }
            }
        }
        return std::nullopt;
    }

    // Of an opcode and its alias or shorthand, the one set at the more specific level (the
    // opcode itself at the same level).
    std::optional<std::string_view> FindEither(std::string_view name,
                                               std::string_view other) const {
        const auto first = Find(name);
        const auto second = Find(other);
        if (first && (!second || first->second >= second->second)) {
            return first->first;
        }
        if (second) {
            return second->first;
        }
        return std::nullopt;
    }

    std::string RegionName() const {
        return "region " + std::to_string(regionCount) + " (" + regionFile.filename().string() +
               ":" + std::to_string(regionLine) + ")";
    }

    void Ignored(std::string_view name, std::string_view value, const std::string& why) {
        Note(RegionName() + ": " + std::string(name) + "=" + std::string(value) + " " + why +
             "; ignored");
    }

    template <typename T>
    void Take(std::string_view name, std::optional<std::string_view> value, T low, T high,
              T& field) {
        if (!value) {
            return;
        }
        const auto number = Number<T>(*value);
        // Written so that a NaN ("tune=nan") is out of range too.
        if (!number || !(low <= *number && *number <= high)) {
            Ignored(name, *value,
                    "is not a number from " + std::to_string(low) + " to " + std::to_string(high));
            return;
        }
        field = *number;
    }

    void TakeNote(std::string_view name, std::optional<std::string_view> value, int& field) {
        if (!value) {
            return;
        }
        if (const auto note = SfzNote(*value)) {
            field = *note;
        } else {
            Ignored(name, *value, "is not a note from 0 to 127");
        }
    }

    bool FlushRegion() {
        if (level != Level::region) {
            return true;
        }
        level = Level::other; // flushed once
        const auto sample = Find("sample");
        if (!sample || Trim(sample->first).empty()) {
            Note(RegionName() + " has no sample; left out");
            return true;
        }
        const std::string_view samplePath = Trim(sample->first);
        if (samplePath.front() == '*') {
            Note(RegionName() + ": the generated sound " + std::string(samplePath) +
                 " not carried; left out");
            return true;
        }
        std::string why;
        std::string joined = defaultPath;
        if (!joined.empty() && joined.back() != '/') {
            joined += '/';
        }
        joined += std::string(samplePath);
        // Regions mostly share a few samples: each path is checked once.
        auto resolved = resolvedSamples.find(joined);
        if (resolved == resolvedSamples.end()) {
            auto path = Resolve(joined, why);
            resolved = resolvedSamples.emplace(joined, std::make_pair(std::move(path), why)).first;
        }
        const std::optional<fs::path>& path = resolved->second.first;
        why = resolved->second.second;
        if (!path) {
            return Fail(regionFile, regionLine,
                        RegionName() + ": sample " + std::string(samplePath) + " " + why);
        }

        Zone zone;
        const auto [soundAt, added] =
            soundIndex.try_emplace(path->string(), instrument.sounds.size());
        if (added) {
            Sound sound;
            sound.name = path->stem().string();
            sound.file = *path;
            instrument.sounds.push_back(std::move(sound));
        }
        zone.sound = soundAt->second;

        if (const auto key = Find("key")) {
            int note = 60;
            TakeNote("key", key->first, note);
            if (SfzNote(key->first)) {
                zone.lowKey = zone.highKey = zone.rootKey = note;
            }
        }
        // key= sets lokey, hikey and pitch_keycenter at once; each of them set at the same or a
        // more specific level wins over it.
        const auto keyLevel = Find("key");
        const auto overKey = [this, &keyLevel](std::string_view name) {
            const auto found = Find(name);
            return found && (!keyLevel || found->second >= keyLevel->second)
                       ? std::optional<std::string_view>(found->first)
                       : std::nullopt;
        };
        TakeNote("lokey", overKey("lokey"), zone.lowKey);
        TakeNote("hikey", overKey("hikey"), zone.highKey);
        if (const auto center = overKey("pitch_keycenter")) {
            if (Lower(Trim(*center)) == "sample") {
                zone.rootKeyFromSound = true;
            } else {
                TakeNote("pitch_keycenter", center, zone.rootKey);
            }
        }
        Take<int>("lovel", FindValue("lovel"), 0, 127, zone.lowVelocity);
        Take<int>("hivel", FindValue("hivel"), 0, 127, zone.highVelocity);
        Take<double>("tune", FindValue("tune"), -9600, 9600, zone.tuneCents);
        int transpose = 0;
        Take<int>("transpose", FindValue("transpose"), -127, 127, transpose);
        zone.tuneCents += 100.0 * transpose;
        Take<std::uint64_t>("offset", FindValue("offset"), 0, std::uint64_t{1} << 40, zone.offset);
        if (const auto end = FindValue("end")) {
            std::uint64_t last = 0;
            Take<std::uint64_t>("end", end, 0, std::uint64_t{1} << 40, last);
            if (Number<std::uint64_t>(*end)) {
                zone.end = last;
            }
        }
        if (const auto mode = FindEither("loop_mode", "loopmode")) {
            const std::string lower = Lower(Trim(*mode));
            if (lower == "no_loop") {
                zone.loopMode = LoopMode::none;
            } else if (lower == "one_shot") {
                zone.loopMode = LoopMode::oneShot;
            } else if (lower == "loop_continuous") {
                zone.loopMode = LoopMode::forward;
            } else if (lower == "loop_sustain") {
                zone.loopMode = LoopMode::sustain;
            } else {
                Ignored("loop_mode", *mode, "is not a loop mode");
                zone.loopModeFromSound = true;
            }
        } else {
            zone.loopModeFromSound = true;
        }
        const auto loopStart = FindEither("loop_start", "loopstart");
        const auto loopEnd = FindEither("loop_end", "loopend");
        if (loopStart || loopEnd) {
            std::uint32_t first = 0;
            std::uint32_t last = 0;
            Take<std::uint32_t>("loop_start", loopStart, 0, 0xFFFFFFFFu, first);
            Take<std::uint32_t>("loop_end", loopEnd, 0, 0xFFFFFFFFu, last);
            if (loopStart && loopEnd && Number<std::uint32_t>(*loopStart) &&
                Number<std::uint32_t>(*loopEnd)) {
                if (first <= last) {
                    zone.loops.push_back({first, last});
                } else {
                    Note(RegionName() + ": loop_start after loop_end; the loop is ignored");
                }
            } else {
                Note(RegionName() + ": a loop needs loop_start and loop_end; the sample's own "
                                    "loop is used");
            }
        }
        Take<double>("volume", FindValue("volume"), -144, 48, zone.volumeDb);
        Take<double>("pan", FindValue("pan"), -100, 100, zone.pan);
        if (const auto trigger = FindValue("trigger")) {
            const std::string lower = Lower(Trim(*trigger));
            if (lower == "attack") {
                zone.trigger = Trigger::attack;
            } else if (lower == "release" || lower == "release_key") {
                zone.trigger = Trigger::release;
            } else if (lower == "first") {
                zone.trigger = Trigger::first;
            } else if (lower == "legato") {
                zone.trigger = Trigger::legato;
            } else {
                Ignored("trigger", *trigger, "is not a trigger");
            }
        }
        Take<int>("seq_length", FindValue("seq_length"), 1, 100, zone.sequenceLength);
        Take<int>("seq_position", FindValue("seq_position"), 1, 100, zone.sequencePosition);
        Take<double>("lorand", FindValue("lorand"), 0, 1, zone.randomLow);
        Take<double>("hirand", FindValue("hirand"), 0, 1, zone.randomHigh);

        for (std::size_t l = 0; l < opcodeLevels; ++l) {
            for (const auto& [name, value] : levels[l]) {
                if (!Carried(name) && std::find(zone.notCarried.begin(), zone.notCarried.end(),
                                                name) == zone.notCarried.end()) {
                    zone.notCarried.push_back(name);
                }
            }
        }
        instrument.zones.push_back(std::move(zone));
        return true;
    }

    std::optional<std::string_view> FindValue(std::string_view name) const {
        if (const auto found = Find(name)) {
            return found->first;
        }
        return std::nullopt;
    }

    const SfzFileReader& readInclude;
    const SfzLimits& limits;
    fs::path mainFile;
    fs::path folder;
    fs::path parentFolder;
    Instrument instrument;
    std::string error;
    std::size_t skippedNotes = 0;

    std::map<std::string, std::string, std::greater<>> defines;
    std::vector<fs::path> includeStack;
    std::size_t includes = 0;
    std::size_t totalBytes = 0;

    Level level = Level::other;
    std::array<Opcodes, opcodeLevels> levels;
    std::string defaultPath;
    std::set<std::string> otherHeaders;
    std::set<std::string> controlNoted;
    fs::path regionFile;
    std::size_t regionLine = 0;
    std::size_t regionCount = 0;
    std::map<std::string, std::size_t> soundIndex;
    std::map<std::string, std::pair<std::optional<fs::path>, std::string>> resolvedSamples;
};

} // namespace

std::optional<int> SfzNote(std::string_view text) {
    text = Trim(text);
    if (const auto number = Number<int>(text)) {
        return *number >= 0 && *number <= 127 ? number : std::nullopt;
    }
    if (text.empty()) {
        return std::nullopt;
    }
    static constexpr std::array<int, 7> pitchClass = {9, 11, 0, 2, 4, 5, 7}; // a b c d e f g
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (letter < 'a' || letter > 'g') {
        return std::nullopt;
    }
    int note = pitchClass[static_cast<std::size_t>(letter - 'a')];
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '#') {
        ++note;
        text.remove_prefix(1);
    } else if (!text.empty() && text[0] == 'b') {
        --note;
        text.remove_prefix(1);
    }
    const auto octave = Number<int>(text);
    if (!octave || *octave < -1 || *octave > 9) {
        return std::nullopt;
    }
    note += (*octave + 1) * 12;
    return note >= 0 && note <= 127 ? std::optional<int>(note) : std::nullopt;
}

std::optional<Instrument> ParseSfz(std::string_view text, const std::filesystem::path& sfzFile,
                                   const SfzFileReader& readInclude, std::string& error,
                                   const SfzLimits& limits) {
    if (text.size() > limits.fileBytes) {
        error = sfzFile.filename().string() + ": larger than " +
                std::to_string(limits.fileBytes >> 20) + " MB";
        return std::nullopt;
    }
    SfzParser parser(sfzFile, readInclude, limits);
    return parser.Parse(text, error);
}

std::optional<Instrument> ReadSfzFile(const std::filesystem::path& sfzFile, std::string& error,
                                      const SfzLimits& limits) {
    const auto read = [&limits](const fs::path& file, std::string& text, std::string& why) {
        std::vector<std::uint8_t> bytes;
        const program::FileResult result =
            program::ReadRegularFile(file, limits.fileBytes, "larger than the limit", bytes);
        if (!result) {
            why = result.detail.empty() ? result.text : result.detail;
            return false;
        }
        text.assign(bytes.begin(), bytes.end());
        return true;
    };
    std::string text;
    std::string why;
    if (!read(sfzFile, text, why)) {
        error = sfzFile.filename().string() + ": " + why;
        return std::nullopt;
    }
    return ParseSfz(text, sfzFile, read, error, limits);
}

} // namespace velomire::instrument
