#include "program/KeyMapping.h"

#include <gtest/gtest.h>

#include <memory>

using namespace velomire::program;

TEST(KeyMapping, ReadsTheNoteOfRealWorldFileNames) {
    const std::vector<std::pair<std::string, std::optional<int>>> table = {
        {"Pad_C3.wav", 60},
        {"bass f#1.wav", 42},
        {"Str-Bb2.aif", 58},
        {"piano 060.wav", 60},
        {"Bass-F#1.wav", 42},
        {"Str_060.flac", 60},
        {"PadEb4_v2.wav", 75},
        {"Choir Aah A2.wav", 57},
        {"Lead_G8.wav", 127},
        {"dir/Low B-1.wav", std::nullopt},
        {"C-1.wav", std::nullopt},
        {"kick.wav", std::nullopt},
        {"Loop 120bpm.wav", std::nullopt},
        {"Break2.wav", std::nullopt},
        {"Snare 1024.wav", std::nullopt},
        {"Cb0.wav", std::nullopt},
    };
    for (const auto& [name, note] : table) {
        EXPECT_EQ(NoteFromFileName(name), note) << name;
    }
}

namespace {

struct Row {
    std::string file;
    int pitch;
    int low;
    int high;
};

class MapKeysTest : public ::testing::Test {
protected:
    void Fill(const std::vector<std::string>& files) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            SampleEntry& e = program->samples[i];
            SetFieldText(e.sample.fileName, files[i]);
            e.sample.rootKey = 60;
            e.keygroup.lowKey = 24;
            e.keygroup.highKey = 127;
        }
        program->sampleCount = static_cast<int>(files.size());
    }
    std::span<SampleEntry> Entries() {
        return std::span(program->samples).first(static_cast<std::size_t>(program->sampleCount));
    }
    std::vector<Row> Rows() {
        std::vector<Row> rows;
        for (const SampleEntry& e : Entries()) {
            rows.push_back({FieldText(e.sample.fileName), e.sample.rootKey, e.keygroup.lowKey,
                            e.keygroup.highKey});
        }
        return rows;
    }

    std::unique_ptr<Program> program = std::make_unique<Program>();
};

bool operator==(const Row& a, const Row& b) {
    return a.file == b.file && a.pitch == b.pitch && a.low == b.low && a.high == b.high;
}

void PrintTo(const Row& r, std::ostream* os) {
    *os << r.file << " " << r.pitch << " " << r.low << "-" << r.high;
}

} // namespace

TEST_F(MapKeysTest, SortsByPitchAndMeetsTheNeighboursHalfWay) {
    Fill({"Pad_E3.wav", "kick.wav", "Pad_C3.wav", "Pad_C2.wav", "Pad_C3b.wav"});
    const auto unrecognised = MapKeysFromNames(Entries(), {});
    EXPECT_EQ(unrecognised, std::vector<std::string>{"kick.wav"});
    // C2 48 | C3 60, C3 60 (a tie shares the range) | E3 64; kick stays in its place.
    EXPECT_EQ(Rows(), (std::vector<Row>{{"Pad_C2.wav", 48, 24, 54},
                                        {"kick.wav", 60, 24, 127},
                                        {"Pad_C3.wav", 60, 55, 62},
                                        {"Pad_C3b.wav", 60, 55, 62},
                                        {"Pad_E3.wav", 64, 63, 127}}));
}

TEST_F(MapKeysTest, WorksOnTheSelectedRowsOnly) {
    Fill({"A_C4.wav", "B_C2.wav", "C_C3.wav"});
    MapKeysFromNames(Entries(), {2, 0, 2});
    EXPECT_EQ(Rows(),
              (std::vector<Row>{
                  {"C_C3.wav", 60, 24, 66}, {"B_C2.wav", 60, 24, 127}, {"A_C4.wav", 72, 67, 127}}));
}
