#pragma once

#include "transfer/SamplerSettings.h"

#include <string>
#include <vector>

namespace velomire::transfer {

// The settings as the Options dialog shows them, with the port lists it offers.
struct PortsShown {
    SamplerSettings settings;
    std::vector<std::string> outList;
    std::vector<std::string> inList;
};

// The saved ports where they are today, found by name (FindSavedPort) in `outNames` and
// `inNames`. A saved port that is not there (unplugged, its program not started) is listed at the
// end of its list as "name (not there)", so that OK keeps it unless the user picks another. The
// input of a one-way setting stays none.
PortsShown ShowPorts(const SamplerSettings& saved, const std::vector<std::string>& outNames,
                     const std::vector<std::string>& inNames);

// The settings the dialog gave back, with each chosen port's name from today's lists. A port
// that is not there and was kept stays as it was saved; none chosen (-1) has no name.
SamplerSettings TakePorts(SamplerSettings chosen, const SamplerSettings& saved,
                          const std::vector<std::string>& outNames,
                          const std::vector<std::string>& inNames);

} // namespace velomire::transfer
