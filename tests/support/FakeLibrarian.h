#pragma once

#include "transfer/Librarian.h"
#include "transfer/WaitClock.h"

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace velomire::testing {

// A sampler's reading side without a sampler: lists `entries` (by place when `byPosition`),
// gives the samples and programs of `samples`/`programs`, and deletes from its list; with `gone`
// set its port has gone. With `silent` set it never answers:
// List waits on `clock` in 100 ms steps until the progress says stop, as a family waiting for a
// reply would.
class FakeLibrarian : public transfer::Librarian {
public:
    bool CanDelete() const override { return canDelete; }

    transfer::LibrarianResult List(std::vector<transfer::SamplerEntry>& out,
                                   transfer::LibrarianProgress& progress) override {
        if (silent) {
            const auto start = clock->Now();
            while (!progress.Cancelled()) {
                clock->SleepUntil(clock->Now() + std::chrono::milliseconds(100));
            }
            if (waited != nullptr) {
                *waited = clock->Now() - start;
            }
            return {transfer::LibrarianResult::Outcome::noAnswer, "The sampler did not answer."};
        }
        if (gone) {
            return {transfer::LibrarianResult::Outcome::failed, "The MIDI port has gone."};
        }
        out = entries;
        return {};
    }
    transfer::ListNumbering Numbering() const override {
        return byPosition ? transfer::ListNumbering{"position", "By place."}
                          : Librarian::Numbering();
    }
    transfer::LibrarianResult ReadHeaders(std::vector<transfer::SamplerEntry>& out,
                                          transfer::LibrarianProgress&) override {
        for (auto& entry : out) {
            if (const auto found = headers.find(entry.number);
                entry.kind == transfer::SamplerEntry::Kind::sample && found != headers.end()) {
                entry.words = found->second.first;
                entry.rate = found->second.second;
            }
        }
        return {};
    }
    transfer::LibrarianResult GetSample(int number, transfer::DecodedSample& sample,
                                        transfer::LibrarianProgress& progress) override {
        progress.Progress(1, 2);
        if (progress.Cancelled()) {
            return {transfer::LibrarianResult::Outcome::cancelled, "Cancelled."};
        }
        if (duringGet) {
            duringGet(); // what the user does while the window waits for the sampler
        }
        const auto found = samples.find(number);
        if (found == samples.end()) {
            return {transfer::LibrarianResult::Outcome::failed, "No such sample."};
        }
        sample = found->second;
        return {};
    }
    transfer::LibrarianResult GetProgram(int number, transfer::DecodedProgram& program,
                                         transfer::LibrarianProgress&) override {
        const auto found = programs.find(number);
        if (found == programs.end()) {
            return {transfer::LibrarianResult::Outcome::failed, "No such program."};
        }
        program = found->second;
        return {};
    }
    transfer::LibrarianResult Delete(transfer::SamplerEntry::Kind kind, int number) override {
        std::erase_if(entries, [&](const auto& e) { return e.kind == kind && e.number == number; });
        return {};
    }

    std::vector<transfer::SamplerEntry> entries;
    std::map<int, std::pair<std::uint32_t, std::uint32_t>> headers; // words, rate
    std::map<int, transfer::DecodedSample> samples;
    std::map<int, transfer::DecodedProgram> programs;
    bool canDelete = false;
    bool silent = false;
    bool gone = false;
    bool byPosition = false;
    transfer::WaitClock* clock = nullptr;
    std::function<void()> duringGet;
    std::chrono::steady_clock::duration* waited = nullptr; // by the last List without an answer
};

} // namespace velomire::testing
