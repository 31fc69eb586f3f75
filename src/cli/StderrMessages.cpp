#include "cli/StderrMessages.h"

#include <algorithm>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

namespace velomire::cli {

std::string TerminalText(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C0 controls and DEL, and the C1 controls as UTF-8 writes them (C2 80 to C2 9F).
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c >= 0x20 && c != 0x7F && !c1) {
            out += static_cast<char>(c);
            continue;
        }
        const int count = c1 ? 2 : 1;
        for (int k = 0; k < count; ++k) {
            const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        i += static_cast<std::size_t>(count - 1);
    }
    return out;
}

namespace {

std::size_t progressLineWidth = 0; // of the progress line on the terminal, 0 when none is

} // namespace

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

void ShowProgressLine(std::string_view text) {
    const std::string shown = TerminalText(text);
    std::cerr << '\r' << shown;
    if (shown.size() < progressLineWidth) {
        std::cerr << std::string(progressLineWidth - shown.size(), ' ') << '\r' << shown;
    }
    std::cerr << std::flush;
    progressLineWidth = std::max(progressLineWidth, shown.size());
}

void WipeProgressLine() {
    if (progressLineWidth == 0) {
        return;
    }
    std::cerr << '\r' << std::string(progressLineWidth, ' ') << '\r' << std::flush;
    progressLineWidth = 0;
}

void PrintLine(std::string_view text) {
    WipeProgressLine();
    std::cout << TerminalText(text) << std::endl;
}

void StderrMessages::Show(std::string_view text, std::string_view caption) {
    WipeProgressLine();
    ++count;
    std::string line;
    if (const auto end = text.find('\n'); end != std::string_view::npos) {
        line = TerminalText(text.substr(0, end)) + " (" + TerminalText(text.substr(end + 1)) + ")";
    } else {
        line = TerminalText(text);
    }
    if (caption.empty() || caption == program::appCaption) {
        std::cerr << messagePrefix << line << '\n';
    } else {
        std::cerr << messagePrefix << TerminalText(caption) << ": " << line << '\n';
    }
}

} // namespace velomire::cli
