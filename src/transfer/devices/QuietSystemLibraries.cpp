#include "transfer/devices/QuietSystemLibraries.h"

#if __has_include(<alsa/asoundlib.h>)
#include <alsa/asoundlib.h>
#define VELOMIRE_QUIET_ALSA 1
#endif
#if __has_include(<jack/jack.h>)
#include <jack/jack.h>
#define VELOMIRE_QUIET_JACK 1
#include <csignal>
#endif

namespace velomire::transfer {
namespace {

#ifdef VELOMIRE_QUIET_ALSA
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
#ifdef VELOMIRE_QUIET_JACK
void QuietJack(const char*) {}
#endif

} // namespace

void QuietSystemLibraries() {
#ifdef VELOMIRE_QUIET_ALSA
    snd_lib_error_set_handler(QuietAlsa);
#endif
#ifdef VELOMIRE_QUIET_JACK
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
    // libjack writes to the server's socket without MSG_NOSIGNAL. A server that goes while one of
    // our threads still talks to it (a close given up on a frozen server, which is then stopped)
    // would end the whole application with SIGPIPE; the write fails with EPIPE instead. A handler
    // the application set stays.
    struct sigaction pipe {};
    if (sigaction(SIGPIPE, nullptr, &pipe) == 0 && pipe.sa_handler == SIG_DFL) {
        std::signal(SIGPIPE, SIG_IGN);
    }
#endif
}

} // namespace velomire::transfer
