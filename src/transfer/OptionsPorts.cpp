#include "transfer/OptionsPorts.h"

#include "transfer/PortNames.h"

#include <cstddef>
#include <cstdint>

namespace velomire::transfer {
namespace {

std::int32_t Place(std::vector<std::string>& list, const std::string& name, std::int32_t index) {
    if (const auto found = FindSavedPort(list, name, index)) {
        return *found;
    }
    if (name.empty()) {
        return -1;
    }
    list.push_back(name + " (not there)");
    return static_cast<std::int32_t>(list.size()) - 1;
}

void Choose(const std::vector<std::string>& names, std::int32_t& index, std::string& name,
            std::int32_t savedIndex, const std::string& savedName) {
    if (index >= 0 && static_cast<std::size_t>(index) < names.size()) {
        name = names[static_cast<std::size_t>(index)];
    } else if (index >= 0) { // the saved port that is not there
        index = savedIndex;
        name = savedName;
    } else {
        name.clear();
    }
}

} // namespace

PortsShown ShowPorts(const SamplerSettings& saved, const std::vector<std::string>& outNames,
                     const std::vector<std::string>& inNames) {
    PortsShown shown{saved, outNames, inNames};
    shown.settings.midiOutDevice = Place(shown.outList, saved.midiOutName, saved.midiOutDevice);
    if (saved.midiInDevice >= 0) {
        shown.settings.midiInDevice = Place(shown.inList, saved.midiInName, saved.midiInDevice);
    }
    return shown;
}

SamplerSettings TakePorts(SamplerSettings chosen, const SamplerSettings& saved,
                          const std::vector<std::string>& outNames,
                          const std::vector<std::string>& inNames) {
    Choose(outNames, chosen.midiOutDevice, chosen.midiOutName, saved.midiOutDevice,
           saved.midiOutName);
    Choose(inNames, chosen.midiInDevice, chosen.midiInName, saved.midiInDevice, saved.midiInName);
    return chosen;
}

} // namespace velomire::transfer
