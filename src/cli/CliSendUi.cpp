#include "cli/CliSendUi.h"

#include "cli/StderrMessages.h"

#include <iostream>
#include <string>

namespace velomire::cli {

CliSendUi::CliSendUi(bool live, std::optional<std::int32_t> programNumber,
                     std::optional<std::int32_t> sampleNumber)
    : live(live), barsOnTerminal(live && StderrIsTerminal()), programNumber(programNumber),
      sampleNumber(sampleNumber) {}

bool CliSendUi::ConfirmSummary(const transfer::ProgramSummary& summary) {
    if (live) {
        std::cout << "Program Summary\n"
                  << "  Number of Samples        " << summary.SampleText() << '\n'
                  << "  Memory needed            " << summary.MemoryText() << '\n'
                  << "  Estimated transfer time  " << summary.TimeText() << '\n'
                  << "  Midi Out device          " << TerminalText(summary.outPort) << '\n'
                  << "  Midi In device           "
                  << (summary.inPort.empty() ? "None (one-way)" : TerminalText(summary.inPort))
                  << '\n'
                  << std::flush;
    }
    return true;
}

bool CliSendUi::AskNumbers(transfer::SendNumbers& numbers) {
    if (programNumber) {
        numbers.programs = *programNumber;
    }
    if (sampleNumber) {
        numbers.samples = *sampleNumber;
    }
    // Said also when the sampler did not answer: the numbers are then the usual ones.
    if (numbers.samplerAsked && live && !programNumber && !sampleNumber) {
        std::cout << (numbers.shape.withProgram
                          ? "Program number " + std::to_string(numbers.programs) + ", sample"
                          : std::string("Sample"))
                  << " numbers from " << numbers.samples << " (" << TerminalText(numbers.origin)
                  << ")\n"
                  << std::flush;
    }
    const std::string warning = numbers.Warning();
    if (warning.empty()) {
        return true;
    }
    if (overwrite) {
        std::cerr << messagePrefix << TerminalText(warning) << " (--overwrite)\n";
        return true;
    }
    std::cerr << messagePrefix << TerminalText(warning)
              << " Nothing was sent: give --overwrite to replace them, or other numbers with "
                 "--program-number and --sample-number.\n";
    return false;
}

void CliSendUi::OpenSending(const std::string& title) {
    if (live) {
        std::cout << TerminalText(title) << '\n' << std::flush;
    }
}

void CliSendUi::AddLine(const std::string& line) {
    if (!live) {
        return;
    }
    if (barsShown) {
        std::cerr << '\n';
        barsShown = false;
    }
    std::cout << TerminalText(line) << '\n' << std::flush;
}

void CliSendUi::CloseSending() {
    if (live && barsShown) {
        std::cerr << '\n';
        barsShown = false;
    }
}

void CliSendUi::SetSampleBar(int percent) {
    sampleBar = percent;
    ShowBars();
}

void CliSendUi::SetProgramBar(int percent) {
    programBar = percent;
    ShowBars();
}

void CliSendUi::ShowBars() {
    // The bars redraw one line in place: only worth it where a person watches.
    if (!barsOnTerminal) {
        return;
    }
    std::cerr << "\r  Sample " << sampleBar << " %   Program " << programBar << " %   "
              << std::flush;
    barsShown = true;
}

} // namespace velomire::cli
