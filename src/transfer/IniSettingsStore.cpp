#include "transfer/IniSettingsStore.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace velomire::transfer {
namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// QSettings writes a key's special characters as %XX.
std::string UnescapeKey(std::string_view key) {
    std::string out;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && HexDigit(key[i + 1]) >= 0 &&
            HexDigit(key[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(key[i + 1]) * 16 + HexDigit(key[i + 2]));
            i += 2;
        } else {
            out += key[i];
        }
    }
    return out;
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

} // namespace

IniSettingsStore::IniSettingsStore(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Parse(text.str());
}

IniSettingsStore IniSettingsStore::FromText(std::string_view text) {
    IniSettingsStore store;
    store.Parse(text);
    return store;
}

void IniSettingsStore::Parse(std::string_view text) {
    bool inSection = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inSection = line == "[Velomire]";
            continue;
        }
        const auto equals = line.find('=');
        if (inSection && equals != std::string_view::npos) {
            values[UnescapeKey(Trim(line.substr(0, equals)))] =
                Unquote(Trim(line.substr(equals + 1)));
        }
    }
}

std::optional<std::string> IniSettingsStore::Read(std::string_view key) {
    const auto it = values.find(key);
    if (it == values.end()) {
        return std::nullopt;
    }
    return it->second;
}

void IniSettingsStore::Write(std::string_view key, const std::string& value) {
    values[std::string(key)] = value;
}

std::filesystem::path IniSettingsStore::DefaultPath() {
    const auto variable = [](const char* name) -> std::filesystem::path {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    };
    if (auto file = variable("VELOMIRE_SETTINGS_FILE"); !file.empty()) {
        return file;
    }
#ifdef _WIN32
    return variable("APPDATA") / "Velomire" / "Velomire.ini";
#else
    std::filesystem::path config = variable("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = variable("HOME") / ".config";
    }
    return config / "Velomire" / "Velomire.ini";
#endif
}

} // namespace velomire::transfer
