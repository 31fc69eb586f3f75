#include "instrument/ProgramMapping.h"

#include "program/Program.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <queue>
#include <set>
#include <sstream>
#include <tuple>

namespace velomire::instrument {
namespace {

constexpr int lowestKey = 24; // the program's keys, as Add Samples and the editors take them
constexpr int highestKey = 127;
constexpr std::size_t maxLoops = 4;   // the loops a row sends
constexpr int favouredVelocity = 100; // the layer kept last: what a keyboard played firmly gives
constexpr int middleKey = 60;
// The most zone numbers one report line names; the rest are counted.
constexpr std::size_t namedZones = 8;

std::string ZoneList(const std::vector<std::size_t>& zones) {
    std::string text = zones.size() == 1 ? "zone " : "zones ";
    for (std::size_t i = 0; i < zones.size() && i < namedZones; ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(zones[i] + 1);
    }
    if (zones.size() > namedZones) {
        text += " and " + std::to_string(zones.size() - namedZones) + " more";
    }
    return text;
}

std::string Cents(double cents) {
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(1);
    out << (cents >= 0 ? "+" : "") << cents;
    return out.str();
}

std::string Range(int low, int high) {
    return std::to_string(low) + "-" + std::to_string(high);
}

std::uint64_t Scaled(std::uint64_t frame, const SoundPlan& plan) {
    if (plan.rate == plan.sourceRate || plan.sourceRate == 0) {
        return frame;
    }
    return static_cast<std::uint64_t>(
        std::llround(static_cast<double>(frame) * plan.rate / plan.sourceRate));
}

int Parts(const ImportRow& row) {
    return row.sendMode == program::sendStereo ? 2 : 1;
}

std::uint64_t Words(const ImportRow& row) {
    const std::uint64_t length = (std::uint64_t{row.soundEnd} - row.soundStart + 1) & ~1ull;
    return length * static_cast<std::uint64_t>(Parts(row));
}

int Distance(int low, int high, int target) {
    if (target >= low && target <= high) {
        return 0;
    }
    return std::min(std::abs(low - target), std::abs(high - target));
}

// What the model holds.
struct Capacity {
    std::size_t rows = program::Program::maxSamples;
    std::size_t samples = std::numeric_limits<std::size_t>::max(); // sample parts
    std::uint64_t words = std::numeric_limits<std::uint64_t>::max();
    std::size_t layersPerKey = std::numeric_limits<std::size_t>::max();
};

class Mapper {
public:
    Mapper(const Instrument& instrument, std::int32_t model)
        : instrument(instrument), info(transfer::SamplerModel::Find(model)),
          family(transfer::FamilyOf(model)) {
        mapping.model = info ? model : -1;
        if (info) {
            capacity.samples = static_cast<std::size_t>(info->maxSample);
            capacity.words = info->memoryWords;
        }
        if (family != nullptr && family->LayersPerKey() > 0) {
            capacity.layersPerKey = family->LayersPerKey();
        }
    }

    ProgramMapping Map() {
        for (std::size_t z = 0; z < instrument.zones.size(); ++z) {
            AddZone(z);
        }
        if (KeepsNoPrograms()) {
            OneRowPerSound();
        }
        Fold();
        Report();
        return std::move(mapping);
    }

private:
    void Drop(const std::string& why, std::size_t zone) { droppedBy[why].push_back(zone); }

    std::optional<std::size_t> Plan(const Zone& zone, std::size_t z) {
        std::optional<std::size_t> right = zone.rightSound;
        if (right && (*right >= instrument.sounds.size() ||
                      instrument.sounds[*right].rate != instrument.sounds[zone.sound].rate)) {
            Drop("right sound of another rate, not carried (the left plays alone)", z);
            right.reset();
        }
        const std::pair<std::size_t, std::size_t> key{
            zone.sound, right.value_or(std::numeric_limits<std::size_t>::max())};
        if (const auto found = planOf.find(key); found != planOf.end()) {
            return found->second;
        }
        const Sound& sound = instrument.sounds[zone.sound];
        SoundPlan plan;
        plan.sound = zone.sound;
        plan.rightSound = right;
        plan.channels = right || sound.channels >= 2 ? 2 : 1;
        if (sound.channels > 2) {
            Drop("channels past the second, not carried", z);
        }
        plan.sourceRate = sound.rate;
        plan.rate = sound.rate;
        plan.frames = sound.frames;
        if (right) {
            plan.frames = std::max(plan.frames, instrument.sounds[*right].frames);
        }
        if (plan.frames == 0 || plan.sourceRate == 0) {
            return std::nullopt;
        }
        plan.tuneOffset = program::TuneOffsetForRate(plan.rate);
        const std::uint32_t rate = sound.rate;
        // Words from a sampler's own disk go back to that family at the rate it played them.
        const bool ownDisk = sound.diskFamily && family == transfer::FamilyOf(*sound.diskFamily);
        const transfer::ImportedRate imported =
            ownDisk ? transfer::ImportedRate{} : RateOfImport(rate);
        plan.convertTo = imported.convertTo;
        if (plan.convertTo == program::TargetRate::keep && imported.playRate != 0 &&
            imported.playRate != rate) {
            // Played at another rate, the tune brings the pitch back.
            plan.tuneOffset =
                TuneUnits(1200 * std::log2(rate / static_cast<double>(imported.playRate)));
        }
        if (plan.convertTo != program::TargetRate::keep) {
            plan.rate = program::RateFor(plan.convertTo, rate);
            plan.frames = Scaled(plan.frames, plan);
            plan.tuneOffset = program::TuneOffsetForRate(plan.rate);
        }
        mapping.sounds.push_back(plan);
        planOf[key] = mapping.sounds.size() - 1;
        return mapping.sounds.size() - 1;
    }

    void AddZone(std::size_t z) {
        const Zone& zone = instrument.zones[z];
        if (zone.sound >= instrument.sounds.size()) {
            Drop("no sound, left out", z);
            return;
        }
        switch (zone.trigger) {
        case Trigger::attack:
            break;
        case Trigger::first:
            notCarriedBy["trigger=first (played as attack)"].push_back(z);
            break;
        case Trigger::release:
            Drop("release trigger, not carried", z);
            return;
        case Trigger::legato:
            Drop("legato trigger, not carried", z);
            return;
        }
        if (zone.sequenceLength > 1 || zone.sequencePosition > 1) {
            if (zone.sequencePosition != 1) {
                Drop("round robin after position 1, not carried", z);
                return;
            }
            notCarriedBy["round robin (position 1 kept)"].push_back(z);
        }
        if (zone.randomLow > 0) {
            Drop("random layer other than the first, not carried", z);
            return;
        }
        if (zone.randomHigh < 1) {
            notCarriedBy["random range (the first layer kept)"].push_back(z);
        }
        const auto planIndex = Plan(zone, z);
        if (!planIndex) {
            Drop("empty sound, left out", z);
            return;
        }
        const SoundPlan& plan = mapping.sounds[*planIndex];
        const Sound& sound = instrument.sounds[zone.sound];

        ImportRow row;
        row.plan = *planIndex;
        row.zones = {z};
        const std::uint64_t last = plan.frames - 1;
        std::uint64_t start = Scaled(zone.offset, plan);
        std::uint64_t end = zone.end ? Scaled(*zone.end, plan) : last;
        if (end > last) {
            folded.push_back(ZoneList({z}) + ": the sound's end " + std::to_string(end) +
                             " lies past its last frame, cut to " + std::to_string(last));
            end = last;
        }
        if (start > end) {
            Drop("offset past the sound's end, left out", z);
            return;
        }
        row.soundStart = static_cast<std::uint32_t>(start);
        row.soundEnd = static_cast<std::uint32_t>(end);

        const int low = std::max(zone.lowKey, lowestKey);
        const int high = std::min(zone.highKey, highestKey);
        if (low > high) {
            Drop("keys below 24, which no program row takes, left out", z);
            return;
        }
        if (low != zone.lowKey || high != zone.highKey) {
            folded.push_back(ZoneList({z}) + ": keys " + Range(zone.lowKey, zone.highKey) +
                             " cut to " + Range(low, high));
        }
        row.lowKey = low;
        row.highKey = high;
        row.lowVelocity = std::clamp(zone.lowVelocity, 0, 127);
        row.highVelocity = std::clamp(zone.highVelocity, row.lowVelocity, 127);

        int root = zone.rootKey;
        if (zone.rootKeyFromSound) {
            root = sound.rootKey.value_or(60);
        }
        double cents = zone.tuneCents + sound.tuneCents;
        // A root outside the program's keys moves into them; the tune keeps the pitch.
        const int movedRoot = std::clamp(root, lowestKey, highestKey);
        cents += 100.0 * (movedRoot - root);
        row.rootKey = movedRoot;
        const std::int32_t units = TuneUnits(cents);
        row.keygroupTune = std::clamp<std::int32_t>(units, std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max());
        if (row.keygroupTune != units) {
            folded.push_back(ZoneList({z}) + ": tune " + Cents(cents) +
                             " cents cut to what a row holds (" +
                             Cents(row.keygroupTune * 100.0 / 256) + ")");
        }
        if (const std::string_view lost = family != nullptr ? family->TuneNotCarried() : "";
            cents != 0 && !lost.empty()) {
            notCarriedBy[std::string(lost)].push_back(z);
        }

        std::vector<Loop> loops = zone.loops.empty() ? sound.loops : zone.loops;
        // A zone repeating the sound's first loop keeps the sound's others (a WAV file's smpl
        // chunk holds four, an SFZ region one).
        if (zone.loops.size() == 1 && !sound.loops.empty() &&
            sound.loops.front() == zone.loops[0]) {
            loops = sound.loops;
        }
        for (const Loop& loop : loops) {
            const Loop scaled{static_cast<std::uint32_t>(Scaled(loop.start, plan)),
                              static_cast<std::uint32_t>(Scaled(loop.end, plan))};
            if (scaled.start < row.soundStart || scaled.end > row.soundEnd ||
                scaled.start > scaled.end) {
                Drop("loop outside the sound played, not carried", z);
            } else if (row.loops.size() == maxLoops) {
                Drop("loops past the fourth, not carried", z);
            } else {
                row.loops.push_back(scaled);
            }
        }
        LoopMode mode = zone.loopMode;
        if (zone.loopModeFromSound) {
            mode = row.loops.empty() ? LoopMode::none : LoopMode::forward;
        }
        switch (mode) {
        case LoopMode::none:
            row.loopMode = program::loopNone;
            break;
        case LoopMode::forward:
            row.loopMode = program::loopNormal;
            break;
        case LoopMode::sustain:
            row.loopMode = program::loopUntilRelease;
            break;
        case LoopMode::oneShot:
            row.loopMode = program::loopToEnd;
            break;
        }
        if ((mode == LoopMode::forward || mode == LoopMode::sustain) && row.loops.empty()) {
            row.loopMode = program::loopNone;
            Drop("loop mode without a loop in the sound, played without", z);
        }

        row.sendMode = plan.channels == 2 ? program::sendStereo : program::sendMono;
        if (plan.channels == 2 && std::abs(zone.pan) >= 100) {
            // A stereo sound panned fully to one side: only that side is heard.
            row.sendMode = zone.pan < 0 ? program::sendLeft : program::sendRight;
        } else if (zone.pan != 0) {
            notCarriedBy["pan"].push_back(z);
        }
        if (zone.output && *zone.output >= 0 && *zone.output <= 7) {
            row.output = row.sendMode == program::sendStereo ? *zone.output & ~1 : *zone.output;
        }
        if (zone.volumeDb != 0) {
            notCarriedBy["volume"].push_back(z);
        }
        for (const std::string& name : zone.notCarried) {
            notCarriedBy[name].push_back(z);
        }
        mapping.rows.push_back(std::move(row));
    }

    // SDS: each sound is one sample; its zones give the keys the user maps onto it.
    void OneRowPerSound() {
        std::vector<ImportRow> rows;
        std::map<std::tuple<std::size_t, std::uint32_t, std::uint32_t>, std::size_t> rowOf;
        for (ImportRow& row : mapping.rows) {
            const auto [found, added] =
                rowOf.try_emplace({row.plan, row.soundStart, row.soundEnd}, rows.size());
            if (added) {
                rows.push_back(std::move(row));
                continue;
            }
            ImportRow* same = &rows[found->second];
            same->zones.insert(same->zones.end(), row.zones.begin(), row.zones.end());
            same->lowKey = std::min(same->lowKey, row.lowKey);
            same->highKey = std::max(same->highKey, row.highKey);
        }
        mapping.rows = std::move(rows);
    }

    // Rows are taken out of the program by marking them; Compact closes the gaps once folding
    // is done, so that folding a hundred thousand zones stays O(n log n).
    void Count() {
        alive.assign(mapping.rows.size(), true);
        aliveRows = mapping.rows.size();
        parts = 0;
        words = 0;
        for (const ImportRow& row : mapping.rows) {
            parts += static_cast<std::size_t>(Parts(row));
            words += Words(row);
        }
    }

    bool Fits() const {
        return aliveRows <= capacity.rows && parts <= capacity.samples && words <= capacity.words;
    }

    void Remove(std::size_t i) {
        alive[i] = false;
        --aliveRows;
        parts -= static_cast<std::size_t>(Parts(mapping.rows[i]));
        words -= Words(mapping.rows[i]);
    }

    void Compact() {
        std::vector<ImportRow> kept;
        for (std::size_t i = 0; i < mapping.rows.size(); ++i) {
            if (alive[i]) {
                kept.push_back(std::move(mapping.rows[i]));
            }
        }
        mapping.rows = std::move(kept);
        Count();
    }

    std::string RowName(const ImportRow& row) const {
        return ZoneList(row.zones) + " (" + instrument.sounds[mapping.sounds[row.plan].sound].name +
               ")";
    }

    // Merges every run of rows of the same sound and settings whose keys meet.
    void MergeNeighbours() {
        auto& rows = mapping.rows;
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (alive[i]) {
                order.push_back(i);
            }
        }
        // The loops as ordered pairs, so that rows sort by them.
        std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> loops(rows.size());
        for (const std::size_t i : order) {
            for (const Loop& loop : rows[i].loops) {
                loops[i].emplace_back(loop.start, loop.end);
            }
        }
        const auto settings = [&rows, &loops](std::size_t i) {
            const ImportRow& r = rows[i];
            return std::tie(r.plan, r.lowVelocity, r.highVelocity, r.rootKey, r.keygroupTune,
                            r.soundStart, r.soundEnd, r.loopMode, r.sendMode, loops[i]);
        };
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return settings(a) < settings(b) ||
                   (settings(a) == settings(b) && rows[a].lowKey < rows[b].lowKey);
        });
        for (std::size_t k = 0; k + 1 < order.size(); ++k) {
            // Runs: the row at `k` takes in its followers while their keys continue it.
            std::size_t next = k + 1;
            ImportRow& x = rows[order[k]];
            while (next < order.size() && settings(order[k]) == settings(order[next]) &&
                   x.highKey + 1 == rows[order[next]].lowKey) {
                ImportRow& y = rows[order[next]];
                folded.push_back(RowName(x) + " keys " + Range(x.lowKey, x.highKey) + " and " +
                                 RowName(y) + " keys " + Range(y.lowKey, y.highKey) +
                                 " play the same sound: merged into one row, keys " +
                                 Range(x.lowKey, y.highKey));
                Remove(order[next]);
                x.highKey = y.highKey;
                x.zones.insert(x.zones.end(), y.zones.begin(), y.zones.end());
                ++next;
            }
            k = next - 1;
        }
    }

    // Drops, farthest from velocity 100 first, the velocity layers of key zones that hold more
    // than `keep` layers (until the program fits, when `untilFits`); the nearest remaining layer
    // of the key zone takes the dropped layer's velocities.
    void DropLayers(std::size_t keep, bool untilFits) {
        auto& rows = mapping.rows;
        // Each key zone's layers by their lowest velocity.
        std::map<std::pair<int, int>, std::set<std::pair<int, std::size_t>>> layers;
        std::priority_queue<std::pair<int, std::size_t>> farthest;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (alive[i]) {
                layers[{rows[i].lowKey, rows[i].highKey}].insert({rows[i].lowVelocity, i});
                farthest.push(
                    {Distance(rows[i].lowVelocity, rows[i].highVelocity, favouredVelocity), i});
            }
        }
        while (!farthest.empty() && !(untilFits && Fits())) {
            const auto [distance, i] = farthest.top();
            farthest.pop();
            auto& zone = layers[{rows[i].lowKey, rows[i].highKey}];
            if (!alive[i] || zone.size() <= keep) {
                continue;
            }
            const int now = Distance(rows[i].lowVelocity, rows[i].highVelocity, favouredVelocity);
            if (now != distance) { // its velocities grew since: in line again as it is now
                farthest.push({now, i});
                continue;
            }
            const ImportRow& gone = rows[i];
            std::string change = "keys " + Range(gone.lowKey, gone.highKey) + ": velocity layer " +
                                 Range(gone.lowVelocity, gone.highVelocity) + " of " +
                                 RowName(gone) + " dropped";
            const auto at = zone.find({gone.lowVelocity, i});
            std::optional<std::size_t> heir;
            if (at != zone.begin()) {
                heir = std::prev(at)->second;
            }
            if (const auto after = std::next(at); after != zone.end()) {
                const int gapAfter = rows[after->second].lowVelocity - gone.highVelocity;
                if (!heir || std::abs(gapAfter) < gone.lowVelocity - rows[*heir].highVelocity) {
                    heir = after->second;
                }
            }
            zone.erase(at);
            if (heir) {
                ImportRow& row = rows[*heir];
                zone.erase({row.lowVelocity, *heir});
                row.lowVelocity = std::min(row.lowVelocity, gone.lowVelocity);
                row.highVelocity = std::max(row.highVelocity, gone.highVelocity);
                zone.insert({row.lowVelocity, *heir});
                change += "; " + RowName(row) + " now plays velocities " +
                          Range(row.lowVelocity, row.highVelocity);
            }
            folded.push_back(change);
            Remove(i);
        }
    }

    // Drops key zones, farthest from middle C first, until the program fits.
    void DropKeyZones() {
        auto& rows = mapping.rows;
        std::vector<std::pair<int, std::size_t>> order;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (alive[i]) {
                order.emplace_back(Distance(rows[i].lowKey, rows[i].highKey, middleKey), i);
            }
        }
        std::sort(order.rbegin(), order.rend());
        for (const auto& [distance, i] : order) {
            if (Fits()) {
                break;
            }
            folded.push_back("keys " + Range(rows[i].lowKey, rows[i].highKey) + " of " +
                             RowName(rows[i]) + " dropped: the " +
                             (info ? std::string(info->shortName) : std::string("program")) +
                             " holds no more");
            Remove(i);
        }
    }

    void Fold() {
        Count();
        if (capacity.layersPerKey < std::numeric_limits<std::size_t>::max()) {
            DropLayers(capacity.layersPerKey, false);
        }
        if (!Fits()) {
            MergeNeighbours();
        }
        if (!Fits()) {
            DropLayers(1, true);
        }
        DropKeyZones();
        Compact();
    }

    void Report() {
        ImportReport& report = mapping.report;
        for (const SoundPlan& plan : mapping.sounds) {
            const std::string name = instrument.sounds[plan.sound].name;
            if (plan.rate != plan.sourceRate) {
                report.carried.push_back(name + ": " + std::to_string(plan.sourceRate) +
                                         " Hz converted to " + std::to_string(plan.rate) + " Hz");
            } else if (plan.tuneOffset != program::TuneOffsetForRate(plan.rate)) {
                report.carried.push_back(
                    name + ": " + std::to_string(plan.rate) + " Hz kept; the " +
                    std::string(info->shortName) + " plays it at " +
                    std::to_string(RateOfImport(plan.rate).playRate) +
                    " Hz and the sample's tune " + Cents(plan.tuneOffset * 100.0 / 256) +
                    " cents brings it back to pitch");
            }
        }
        std::int32_t number = family != nullptr ? family->FirstSendNumbers().sample : 0;
        for (std::size_t r = 0; r < mapping.rows.size(); ++r) {
            const ImportRow& row = mapping.rows[r];
            std::string line;
            if (KeepsNoPrograms()) {
                const int parts = Parts(row);
                line = "sample " + std::to_string(number) +
                       (parts == 2 ? " and " + std::to_string(number + 1) : "") + ": " +
                       RowName(row) + ", root key " + std::to_string(row.rootKey) + "; map keys " +
                       Range(row.lowKey, row.highKey) + " onto it";
                number += parts;
            } else {
                line = "row " + std::to_string(r + 1) + ": keys " + Range(row.lowKey, row.highKey) +
                       ", velocities " + Range(row.lowVelocity, row.highVelocity) + ", root key " +
                       std::to_string(row.rootKey);
                if (row.keygroupTune != 0) {
                    line += ", tune " + Cents(row.keygroupTune * 100.0 / 256) + " cents";
                }
                line += std::string(row.sendMode == program::sendStereo  ? ", stereo"
                                    : row.sendMode == program::sendLeft  ? ", left channel"
                                    : row.sendMode == program::sendRight ? ", right channel"
                                                                         : "");
                for (const Loop& loop : row.loops) {
                    line += ", loop " + std::to_string(loop.start) + "-" + std::to_string(loop.end);
                }
                line += " <- " + RowName(row);
            }
            report.carried.push_back(line);
        }
        if (family != nullptr && !family->ImportLoss().empty()) {
            report.carried.emplace_back(family->ImportLoss());
        }
        report.folded = folded;
        for (const auto& [why, zones] : droppedBy) {
            report.dropped.push_back(ZoneList(zones) + ": " + why);
        }
        for (const auto& [what, zones] : notCarriedBy) {
            report.dropped.push_back(what + " not carried: " + ZoneList(zones));
        }
        for (const std::string& note : instrument.notes) {
            report.dropped.push_back(note);
        }
    }

    // A sampler that takes samples only: each sound is one sample, its zones the keys to map.
    bool KeepsNoPrograms() const { return family != nullptr && !family->SendsProgram(); }

    transfer::ImportedRate RateOfImport(std::uint32_t rate) const {
        return family != nullptr ? family->RateOfImport(rate) : transfer::ImportedRate{};
    }

    const Instrument& instrument;
    std::optional<transfer::SamplerModelInfo> info;
    const transfer::Family* family;
    Capacity capacity;
    ProgramMapping mapping;
    std::vector<std::string> folded;
    std::map<std::string, std::vector<std::size_t>> droppedBy;
    std::map<std::string, std::vector<std::size_t>> notCarriedBy;
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> planOf;
    std::vector<bool> alive;
    std::size_t aliveRows = 0;
    std::size_t parts = 0;
    std::uint64_t words = 0;
};

} // namespace

std::int32_t TuneUnits(double cents) {
    return static_cast<std::int32_t>(std::lround(cents * 256 / 100));
}

std::vector<std::string> ImportReport::Lines() const {
    std::vector<std::string> lines;
    for (const auto& line : carried) {
        lines.push_back("carried: " + line);
    }
    for (const auto& line : folded) {
        lines.push_back("folded: " + line);
    }
    for (const auto& line : dropped) {
        lines.push_back("dropped: " + line);
    }
    return lines;
}

ProgramMapping MapInstrument(const Instrument& instrument, std::int32_t model) {
    return Mapper(instrument, model).Map();
}

} // namespace velomire::instrument
