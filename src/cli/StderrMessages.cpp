#include "cli/StderrMessages.h"

#include <iostream>

namespace velomire::cli {

void StderrMessages::Show(std::string_view text, std::string_view caption) {
    ++count;
    if (caption.empty()) {
        std::cerr << text << '\n';
    } else {
        std::cerr << caption << ": " << text << '\n';
    }
}

} // namespace velomire::cli
