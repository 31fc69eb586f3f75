#pragma once

#include "transfer/SendCommand.h"

#include <optional>

namespace velomire::cli {

// Answers the Send command's questions from the command line's options and prints what the
// desktop application would show: the summary, the list lines and, when live, both bars.
class CliSendUi : public transfer::SendUi {
public:
    CliSendUi(bool live, std::optional<std::int32_t> programNumber,
              std::optional<std::int32_t> sampleNumber);

    // Numbers the sampler said it holds are refused (the send is cancelled, naming them) unless
    // overwriting them was asked for.
    void AllowOverwrite(bool allow) { overwrite = allow; }

    bool ConfirmSummary(const transfer::ProgramSummary& summary) override;
    bool AskNumbers(transfer::SendNumbers& numbers) override;
    std::optional<std::int32_t> GivenSampleNumber() const override { return sampleNumber; }
    void OpenSending(const std::string& title) override;
    void AddLine(const std::string& line) override;
    void CloseSending() override;
    void SetSampleBar(int percent) override;
    void SetProgramBar(int percent) override;

private:
    void ShowBars();

    bool live;
    bool barsOnTerminal;
    std::optional<std::int32_t> programNumber;
    std::optional<std::int32_t> sampleNumber;
    bool overwrite = false;
    int sampleBar = 0;
    int programBar = 0;
    bool barsShown = false;
};

} // namespace velomire::cli
