#include "cli/CliCommand.h"

#include "cli/CliApp.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "transfer/SamplerModel.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <utility>

namespace velomire::cli {

namespace {

// Help lines stay within 100 columns; option descriptions start at column 26.
constexpr std::size_t helpWidth = 96;
constexpr std::size_t descriptionColumn = 26;

// The --model help: the numbers and short names of the model table, so that a new row shows.
std::string ModelHelp() {
    std::string names;
    for (const transfer::SamplerModelInfo& model : transfer::SamplerModel::All()) {
        names += (names.empty() ? "" : ", ") + std::string(model.shortName);
    }
    return "0.." + std::to_string(transfer::SamplerModel::count - 1) +
           ", or a model's short name: " + names +
           " (also SDS and S1100), or its name as Options lists it (\"Akai S3000 XL\"); letter "
           "case and spaces do not matter";
}

// text's words in lines of at most `width` columns, each line after the first (or every line)
// indented by `indent` spaces. A line break in text starts a new line.
std::string Wrap(const std::string& text, std::size_t indent, std::size_t firstColumn) {
    std::string out;
    std::size_t column = firstColumn;
    std::istringstream paragraphs(text);
    std::string paragraph;
    bool firstParagraph = true;
    while (std::getline(paragraphs, paragraph)) {
        if (!firstParagraph) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        }
        firstParagraph = false;
        std::istringstream words(paragraph);
        std::string word;
        bool lineStart = true;
        while (words >> word) {
            if (!lineStart && column + 1 + word.size() > helpWidth) {
                out += "\n" + std::string(indent, ' ');
                column = indent;
                lineStart = true;
            }
            if (!lineStart) {
                out += ' ';
                ++column;
            }
            out += word;
            column += word.size();
            lineStart = false;
        }
    }
    return out + "\n";
}

} // namespace

CliCommand::CliCommand(CLI::App& parent, std::string name, std::string synopsis,
                       std::string summary)
    : name(std::move(name)), synopsis(std::move(synopsis)), summary(std::move(summary)),
      app(parent.add_subcommand(this->name, this->summary)) {
    // --help is answered before parsing (CliApp), with the text below.
    app->set_help_flag();
}

std::string CliCommand::Help() const {
    std::string out = "usage: velomire-cli " + synopsis + "\n" + Wrap(summary, 0, 0);
    for (const CLI::Option* option : app->get_options()) {
        if (option->get_positional() || option->get_group().empty()) {
            continue;
        }
        std::string names;
        for (const auto& shortName : option->get_snames()) {
            names += (names.empty() ? "-" : ", -") + shortName;
        }
        for (const auto& longName : option->get_lnames()) {
            names += (names.empty() ? "--" : ", --") + longName;
        }
        if (!option->get_type_name().empty() && option->get_expected_max() > 0) {
            names += " " + option->get_type_name();
        }
        std::string line = "  " + names;
        if (line.size() + 2 > descriptionColumn) {
            line += "\n" + std::string(descriptionColumn, ' ');
        } else {
            line += std::string(descriptionColumn - line.size(), ' ');
        }
        out += line + Wrap(option->get_description(), descriptionColumn, descriptionColumn);
    }
    return out;
}

std::string CliCommand::Overview() const {
    // The usage line's continuations stand under the command's name: 20 columns in
    // "usage: velomire-cli NAME", 2 here.
    constexpr std::size_t usageIndent = 20 - 2;
    std::string out = "  ";
    std::istringstream lines(synopsis);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!first) {
            out += "\n" + line.substr(std::min(usageIndent, line.find_first_not_of(' ')));
        } else {
            out += line;
        }
        first = false;
    }
    constexpr std::size_t overviewColumn = 32;
    return out + "\n" + std::string(overviewColumn, ' ') +
           Wrap(summary, overviewColumn, overviewColumn);
}

int CliCommand::UsageError(const std::string& message) const {
    std::cerr << messagePrefix << TerminalText(message) << " (see velomire-cli " << name
              << " --help)\n";
    return exitUsage;
}

CLI::Option* CliCommand::AddChecked(const std::string& names, const std::string& typeName,
                                    const std::string& description,
                                    std::function<bool(const std::string&)> parse,
                                    const std::string& problem) {
    return app
        ->add_option_function<std::string>(
            names,
            [parse = std::move(parse), problem](const std::string& text) {
                if (!parse(text)) {
                    throw UsageProblem(problem);
                }
            },
            description)
        ->type_name(typeName);
}

CLI::Option* CliCommand::AddNumber(const std::string& names, const std::string& typeName,
                                   const std::string& description,
                                   std::optional<std::int32_t>& value, std::int32_t min,
                                   std::int32_t max) {
    const std::string optionName = names.substr(names.rfind(',') + 1);
    return AddChecked(
        names, typeName, description,
        [&value, min, max](const std::string& text) {
            const auto number = ParseWhole(text);
            if (!number || *number < min || *number > max) {
                return false;
            }
            value = *number;
            return true;
        },
        optionName + " takes a whole number from " + std::to_string(min) + " to " +
            std::to_string(max));
}

CLI::Option* CliCommand::AddModelOption(std::optional<std::int32_t>& model) {
    return app
        ->add_option_function<std::string>(
            "--model",
            [&model](const std::string& text) {
                model = transfer::SamplerModel::Parse(text);
                if (!model) {
                    throw UsageProblem("unknown model '" + text + "'");
                }
            },
            ModelHelp())
        ->type_name("M");
}

CLI::Option* CliCommand::AddAllowRateOption(bool& allowed) {
    return app->add_flag("--allow-rate", allowed,
                         "a sample at a rate the model plays off pitch (the S1000 family plays "
                         "44100 and 22050 Hz only) is still named on stderr, but ends with exit "
                         "status 0 instead of 3");
}

} // namespace velomire::cli
