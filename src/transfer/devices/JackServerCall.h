#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace velomire::transfer {

// How long a call that needs the JACK server's answer (opening a client, activating it,
// connecting ports) may take before we stop waiting for it.
inline constexpr std::chrono::milliseconds jackAnswerLimit{2000};

// Runs `talk` (calls into libjack that wait for the server's answer) on a thread of its own and
// waits for its result at most `limit`, sleeping and calling `idle` (if set) between looks.
// libjack waits on a frozen server (stopped, not gone) for as long as it stays frozen; we do not.
// Nothing when the server did not answer in time: the thread is then left to finish alone, and
// its late result is destroyed there (a client in it is closed by its owner's destructor).
template <typename Result>
std::optional<Result> CallJackServer(std::function<Result()> talk,
                                     const std::function<void()>& idle = {},
                                     std::chrono::milliseconds limit = jackAnswerLimit) {
    struct Shared {
        std::mutex mutex;
        std::optional<Result> result;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, talk = std::move(talk)] {
        Result result = talk();
        const std::lock_guard lock(shared->mutex);
        if (!shared->abandoned) {
            shared->result = std::move(result);
        }
        // else: nobody waits for it any more; it goes with this scope.
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->result) {
                return std::move(shared->result);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                shared->abandoned = true;
                return std::nullopt;
            }
        }
        if (idle) {
            idle();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace velomire::transfer
