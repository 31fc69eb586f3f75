#pragma once

#include "program/Program.h"

#include <nlohmann/json.hpp>

#include <string>

namespace velomire::cli {

// Every stored field of the program, under the field names the code uses.
nlohmann::ordered_json ProgramToJson(const program::Program& program);

// The same content as indented "name: value" lines for people.
std::string JsonToText(const nlohmann::ordered_json& value);

} // namespace velomire::cli
