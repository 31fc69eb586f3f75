#include "transfer/devices/MidiDevices.h"

#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"

#include <utility>

namespace velomire::transfer {

MidiDevices::MidiDevices(OutFactory makeOut, InFactory makeIn, program::UserMessages& messages,
                         std::function<void()> idle)
    : makeOut(std::move(makeOut)), makeIn(std::move(makeIn)), messages(messages),
      idle(std::move(idle)) {}

MidiDriver& MidiDevices::Driver() {
    if (!driver && makeOut) {
        driver = makeOut();
    }
    if (!driver) {
        driver = std::make_unique<SystemMidiDriver>();
    }
    return *driver;
}

MidiInDriver& MidiDevices::InDriver() {
    if (!inDriver && makeIn) {
        inDriver = makeIn();
    }
    if (!inDriver) {
        inDriver = std::make_unique<SystemMidiInDriver>();
    }
    return *inDriver;
}

MidiOutPort& MidiDevices::Port() {
    if (!port) {
        port = std::make_unique<MidiOutPort>(Driver(), clock, messages);
        port->SetIdleHook(idle);
    }
    return *port;
}

} // namespace velomire::transfer
