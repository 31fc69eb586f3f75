#include "transfer/IniSettingsStore.h"
#include "transfer/SamplerSettings.h"

#include <gtest/gtest.h>

#ifdef VELOMIRE_HAVE_QT_SETTINGS
#include "transfer/ui/QtSettingsStore.h"

#include <QByteArray>
#include <QtGlobal>
#endif

namespace velomire::transfer {
namespace {

TEST(IniSettingsStore, ReadsOnlyTheVelomireSectionWithEscapedKeysAndWindowsLineEnds) {
    auto store = IniSettingsStore::FromText("[General]\r\nMidi%20channel=9\r\n[Velomire]\r\n"
                                            "Midi%20channel=3\r\nMidiOut%20device=\"2\"\r\n");
    EXPECT_EQ(store.Read("Midi channel"), "3");
    EXPECT_EQ(store.Read("MidiOut device"), "2");
    EXPECT_EQ(store.Read("Polyphony"), std::nullopt);
}

#ifdef VELOMIRE_HAVE_QT_SETTINGS
// velomire-cli on Windows reads the file the desktop application writes.
TEST(IniSettingsStore, ReadsWhatTheDesktopApplicationSaved) {
    const std::string file = ::testing::TempDir() + "velomire-ini-store.ini";
    qputenv("VELOMIRE_SETTINGS_FILE", QByteArray::fromStdString(file)); // also on Windows
    SamplerSettings saved;
    saved.samplerModel = 7;
    saved.exclusiveChannel = 127;
    saved.midiOutDevice = 2;
    {
        transfer::QtSettingsStore qt;
        saved.Write(qt);
    }
    IniSettingsStore ini(IniSettingsStore::DefaultPath());
    qunsetenv("VELOMIRE_SETTINGS_FILE");
    const SamplerSettings read = SamplerSettings::Read(ini);
    EXPECT_EQ(read.samplerModel, 7);
    EXPECT_EQ(read.exclusiveChannel, 127);
    EXPECT_EQ(read.midiOutDevice, 2);
}
#endif

} // namespace
} // namespace velomire::transfer
