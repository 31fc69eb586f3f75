#pragma once

// libgig's headers, read as its library was compiled, and what the readers built on it share. On
// Windows a RIFF file's handle is a HANDLE only while WIN32 is defined, which MinGW leaves
// undefined in a strict C++ mode; read without it, the headers describe other class layouts than
// the library has (velomire_gig defines it).
#include <DLS.h>
#include <Korg.h>
#include <RIFF.h>
#include <SF.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#ifdef _WIN32
static_assert(std::is_same_v<RIFF::File::Handle, HANDLE>,
              "libgig's headers must be read with WIN32 defined, as its library was built");
#endif

namespace velomire::instrument::gigsupport {

// A file whose structure libgig would not survive, and why: found by the checks a reader makes
// before libgig reads what it takes on trust.
struct Broken {
    std::string why;
};

// Why reading failed, in one line, whatever was thrown.
inline std::string What(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Broken& e) {
        return e.why;
    } catch (const RIFF::Exception& e) {
        return e.Message;
    } catch (const std::bad_alloc&) {
        return "it does not fit in memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "it could not be read";
    }
}

constexpr std::uint32_t FourCc(const char (&id)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(id[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[3])) << 24;
}

// What `read` returns (it may refuse with its own words in `error`); whatever it throws, the
// reading ends with one line: "FILE: not a KIND Velomire can read (why)".
template <class T, class Read>
std::optional<T> Guarded(const std::filesystem::path& file, const char* kind, std::string& error,
                         Read read) {
    std::exception_ptr failure;
    try {
        return read();
    } catch (...) {
        failure = std::current_exception();
    }
    error = file.string() + ": not a " + kind + " Velomire can read (" + What(failure) + ")";
    return std::nullopt;
}

// A chunk as an error names it: "its ID chunk", or "a chunk" when its id is no text (so that the
// error stays one readable line).
inline std::string ChunkNamed(std::string_view id) {
    const bool text =
        std::all_of(id.begin(), id.end(), [](char c) { return c >= ' ' && c <= '~'; });
    return text ? "its " + std::string(id) + " chunk" : std::string("a chunk");
}

// A name as the file holds it: up to its first NUL, without trailing spaces.
inline std::string Trimmed(std::string text) {
    const auto nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace velomire::instrument::gigsupport
