#include "transfer/OptionsPorts.h"

#include <gtest/gtest.h>

namespace velomire::transfer {
namespace {

SamplerSettings Saved(std::int32_t out, std::string outName, std::int32_t in, std::string inName) {
    SamplerSettings settings;
    settings.midiOutDevice = out;
    settings.midiOutName = std::move(outName);
    settings.midiInDevice = in;
    settings.midiInName = std::move(inName);
    return settings;
}

TEST(OptionsPorts, ASavedPortThatIsNotThereIsListedAtTheEndAndKeptByOk) {
    const std::vector<std::string> outs{"Port A", "Port B"};
    const std::vector<std::string> ins{"In A"};
    // Found by name where it is today, even at another position.
    PortsShown shown = ShowPorts(Saved(0, "Port B", 0, "In A"), outs, ins);
    EXPECT_EQ(shown.settings.midiOutDevice, 1);
    EXPECT_EQ(shown.settings.midiInDevice, 0);
    EXPECT_EQ(shown.outList, outs);

    // Unplugged: shown at the end, and OK on it keeps the port as saved.
    const SamplerSettings unplugged = Saved(3, "Unplugged", 0, "Gone");
    shown = ShowPorts(unplugged, outs, ins);
    EXPECT_EQ(shown.outList,
              (std::vector<std::string>{"Port A", "Port B", "Unplugged (not there)"}));
    EXPECT_EQ(shown.inList, (std::vector<std::string>{"In A", "Gone (not there)"}));
    EXPECT_EQ(shown.settings.midiOutDevice, 2);
    EXPECT_EQ(shown.settings.midiInDevice, 1);
    SamplerSettings taken = TakePorts(shown.settings, unplugged, outs, ins);
    EXPECT_EQ(taken.midiOutDevice, 3);
    EXPECT_EQ(taken.midiOutName, "Unplugged");
    EXPECT_EQ(taken.midiInDevice, 0);
    EXPECT_EQ(taken.midiInName, "Gone");

    // Another port picked: its name goes with it; none picked has no name.
    SamplerSettings picked = shown.settings;
    picked.midiOutDevice = 0;
    picked.midiInDevice = -1;
    taken = TakePorts(picked, unplugged, outs, ins);
    EXPECT_EQ(taken.midiOutDevice, 0);
    EXPECT_EQ(taken.midiOutName, "Port A");
    EXPECT_EQ(taken.midiInDevice, -1);
    EXPECT_EQ(taken.midiInName, "");
}

TEST(OptionsPorts, OneWayStaysOneWayAndAPositionWithoutANameIsAllThereIs) {
    const std::vector<std::string> outs{"Port A", "Port B"};
    // A one-way setting keeps its input none, whatever name is saved with it.
    PortsShown shown = ShowPorts(Saved(1, "", -1, "In A"), outs, {"In A"});
    EXPECT_EQ(shown.settings.midiOutDevice, 1); // settings from before names were kept
    EXPECT_EQ(shown.settings.midiInDevice, -1);
    EXPECT_EQ(shown.inList, std::vector<std::string>{"In A"});
    // A position without a name that is no longer there: nothing chosen, nothing listed.
    shown = ShowPorts(Saved(5, "", -1, ""), outs, {});
    EXPECT_EQ(shown.settings.midiOutDevice, -1);
    EXPECT_EQ(shown.outList, outs);
}

} // namespace
} // namespace velomire::transfer
