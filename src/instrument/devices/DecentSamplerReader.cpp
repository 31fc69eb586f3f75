#include "instrument/devices/DecentSamplerReader.h"

#include "program/SafeFile.h"

#include <QString>
#include <QXmlStreamReader>

#include <cmath>
#include <map>
#include <set>

namespace velomire::instrument {

namespace {

using Attributes = std::map<std::string, std::string>; // names in lower case

// The attributes a sample takes from the nearest of <sample>, <group>, <groups> that sets them.
const std::set<std::string> carried = {
    "path",        "lonote", "hinote",  "rootnote",    "lovel",     "hivel",
    "tuning",      "start",  "end",     "loopstart",   "loopend",   "loopenabled",
    "volume",      "pan",    "trigger", "seqposition", "seqlength", "globaltuning",
    "grouptuning", "name",   "enabled", "tags",
};

Attributes Read(const QXmlStreamAttributes& attributes) {
    Attributes read;
    for (const QXmlStreamAttribute& attribute : attributes)
        read[attribute.name().toString().toLower().toStdString()] =
            attribute.value().toString().trimmed().toStdString();
    return read;
}

struct Failure {
    std::string text;
};

double Number(const Attributes& a, const std::string& name, double otherwise, double low,
              double high) {
    const auto found = a.find(name);
    if (found == a.end())
        return otherwise;
    bool ok = false;
    const double value = QString::fromStdString(found->second).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        throw Failure{"the attribute " + name + "=\"" + found->second + "\" is not a number from " +
                      QString::number(low).toStdString() + " to " +
                      QString::number(high).toStdString()};
    return value;
}

int Whole(const Attributes& a, const std::string& name, int otherwise, int low, int high) {
    const double value = Number(a, name, otherwise, low, high);
    if (value != std::floor(value))
        throw Failure{"the attribute " + name + " is not a whole number"};
    return static_cast<int>(value);
}

// A volume as a number (a gain, 1 = unchanged) or in decibels ("-3dB"), in dB.
double VolumeDb(const Attributes& a, const std::string& name) {
    const auto found = a.find(name);
    if (found == a.end())
        return 0;
    QString text = QString::fromStdString(found->second);
    const bool decibels = text.endsWith("db", Qt::CaseInsensitive);
    if (decibels)
        text.chop(2);
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || (decibels ? value > 48 : (value < 0 || value > 16)))
        throw Failure{"the attribute " + name + "=\"" + found->second + "\" is not a volume"};
    if (decibels)
        return value;
    return value > 0 ? 20 * std::log10(value) : -144;
}

bool Flag(const Attributes& a, const std::string& name) {
    const auto found = a.find(name);
    if (found == a.end())
        return false;
    const QString text = QString::fromStdString(found->second).toLower();
    return text == "true" || text == "1" || text == "yes";
}

// The absolute path of a sample named relative to the preset; refused when it leads outside the
// preset's folder and its parent.
std::filesystem::path SamplePath(const std::filesystem::path& folder, const std::string& name) {
    if (name.empty())
        throw Failure{"a sample has no path"};
    std::string text = name; // Windows separators, as presets made there write them
    for (char& c : text)
        if (c == '\\')
            c = '/';
    const std::filesystem::path relative(text);
    if (relative.is_absolute() || relative.has_root_name() || relative.has_root_directory())
        throw Failure{"the sample path \"" + name + "\" is not relative to the preset"};
    std::filesystem::path joined = (folder / relative).lexically_normal();
    const std::filesystem::path allowed = folder.parent_path().lexically_normal();
    const auto inside = joined.lexically_relative(allowed);
    if (inside.empty() || *inside.begin() == "..")
        throw Failure{"the sample path \"" + name +
                      "\" leads outside the preset's folder and its parent"};
    return joined;
}

Trigger TriggerOf(const Attributes& a, Zone& zone) {
    const auto found = a.find("trigger");
    if (found == a.end())
        return Trigger::attack;
    const QString text = QString::fromStdString(found->second).toLower();
    if (text == "attack")
        return Trigger::attack;
    if (text == "release")
        return Trigger::release;
    if (text == "first")
        return Trigger::first;
    if (text == "legato")
        return Trigger::legato;
    zone.notCarried.push_back("trigger=" + found->second);
    return Trigger::attack;
}

} // namespace

std::optional<std::vector<InstrumentEntry>>
ListDecentSamplerPresets(const std::filesystem::path& file, std::string& error) {
    std::error_code failed;
    if (!std::filesystem::is_regular_file(file, failed)) {
        error = file.string() + ": cannot be opened";
        return std::nullopt;
    }
    return std::vector<InstrumentEntry>{{file.stem().string(), 0, "Decent Sampler preset"}};
}

std::optional<Instrument> ReadDecentSamplerPreset(const std::filesystem::path& file,
                                                  std::string& error) {
    std::vector<std::uint8_t> bytes;
    const auto read =
        program::ReadRegularFile(file, largestDecentSamplerPreset, "larger than any preset", bytes);
    if (!read) {
        error = file.string() + ": cannot be read (" + read.text + ")";
        return std::nullopt;
    }
    const std::filesystem::path folder =
        std::filesystem::absolute(file).parent_path().lexically_normal();
    Instrument instrument;
    instrument.name = file.stem().string();
    std::map<std::filesystem::path, std::size_t> soundOfFile;
    QXmlStreamReader xml(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<qsizetype>(bytes.size())));
    // The attributes of the open <groups> and <group>, outermost first.
    std::vector<Attributes> levels;
    std::vector<QString> open;
    bool seenRoot = false;
    try {
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement) {
                const QString name = xml.name().toString().toLower();
                if ((name == "groups" || name == "group") && !levels.empty())
                    levels.pop_back();
                continue;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QString name = xml.name().toString().toLower();
            if (!seenRoot) {
                if (name != "decentsampler")
                    throw Failure{"not a Decent Sampler preset (its root is <" +
                                  xml.name().toString().toStdString() + ">)"};
                seenRoot = true;
                continue;
            }
            if (name == "groups" || name == "group") {
                levels.push_back(Read(xml.attributes()));
                continue;
            }
            if (name != "sample" || levels.empty())
                continue; // effects, UI, MIDI and modulators: not a sampler program's part
            if (instrument.zones.size() >= maxDecentSamplerZones)
                throw Failure{"it has more than " + std::to_string(maxDecentSamplerZones) +
                              " samples"};
            const Attributes own = Read(xml.attributes());
            Attributes merged;
            for (const Attributes& level : levels)
                for (const auto& [key, value] : level)
                    merged[key] = value;
            for (const auto& [key, value] : own)
                merged[key] = value;

            Zone zone;
            const std::filesystem::path path =
                SamplePath(folder, own.count("path") ? own.at("path") : "");
            if (const auto found = soundOfFile.find(path); found != soundOfFile.end()) {
                zone.sound = found->second;
            } else {
                Sound sound;
                sound.name = path.stem().string();
                sound.file = path;
                instrument.sounds.push_back(std::move(sound));
                zone.sound = instrument.sounds.size() - 1;
                soundOfFile[path] = zone.sound;
            }
            zone.rootKey = Whole(merged, "rootnote", 60, 0, 127);
            zone.lowKey = Whole(merged, "lonote", 0, 0, 127);
            zone.highKey = Whole(merged, "hinote", 127, 0, 127);
            zone.lowVelocity = std::max(1, Whole(merged, "lovel", 1, 0, 127));
            zone.highVelocity = Whole(merged, "hivel", 127, 0, 127);
            if (zone.lowKey > zone.highKey || zone.lowVelocity > zone.highVelocity)
                throw Failure{"the sample \"" + path.filename().string() +
                              "\" has a low note or velocity above its high one"};
            // Tunings in semitones: the sample's (or its group's), the group's and the preset's.
            double semitones = Number(merged, "tuning", 0, -1200, 1200);
            if (levels.size() >= 2)
                semitones += Number(levels[1], "grouptuning", 0, -1200, 1200);
            semitones += Number(levels.front(), "globaltuning", 0, -1200, 1200);
            zone.tuneCents = 100 * semitones;
            // Each level's volume is a gain of its own: they add up in dB.
            for (const Attributes& level : levels)
                zone.volumeDb += VolumeDb(level, "volume");
            zone.volumeDb += VolumeDb(own, "volume");
            zone.pan = Number(merged, "pan", 0, -100, 100);
            constexpr double largestFrame = 4294967295.0;
            const double start = Number(merged, "start", 0, 0, largestFrame);
            zone.offset = static_cast<std::uint64_t>(start);
            if (merged.count("end")) {
                // The last frame played, as SFZ's end and the sampler's end point count it.
                zone.end =
                    static_cast<std::uint64_t>(Number(merged, "end", 0, start, largestFrame));
            }
            if (Flag(merged, "loopenabled")) {
                zone.loopMode = LoopMode::forward;
                if (merged.count("loopstart") && merged.count("loopend")) {
                    const double loopStart = Number(merged, "loopstart", 0, 0, largestFrame);
                    const double loopEnd = Number(merged, "loopend", 0, loopStart, largestFrame);
                    zone.loops.push_back({static_cast<std::uint32_t>(loopStart),
                                          static_cast<std::uint32_t>(loopEnd)});
                }
            } else if (merged.count("loopstart") && merged.count("loopend")) {
                const double loopStart = Number(merged, "loopstart", 0, 0, largestFrame);
                const double loopEnd = Number(merged, "loopend", 0, loopStart, largestFrame);
                zone.loops.push_back(
                    {static_cast<std::uint32_t>(loopStart), static_cast<std::uint32_t>(loopEnd)});
            }
            zone.trigger = TriggerOf(merged, zone);
            zone.sequenceLength = Whole(merged, "seqlength", 1, 1, 128);
            zone.sequencePosition = Whole(merged, "seqposition", 1, 1, 128);
            for (const auto& [key, value] : merged) {
                if (carried.count(key))
                    continue;
                std::string named = key;
                named += '=';
                named += value;
                zone.notCarried.push_back(std::move(named));
            }
            instrument.zones.push_back(std::move(zone));
        }
        if (xml.hasError())
            throw Failure{"its XML is broken at line " + std::to_string(xml.lineNumber()) + " (" +
                          xml.errorString().toStdString() + ")"};
        if (!seenRoot)
            throw Failure{"it holds no <DecentSampler> element"};
    } catch (const Failure& failure) {
        error = file.string() + ": " + failure.text;
        return std::nullopt;
    }
    return instrument;
}

} // namespace velomire::instrument
