#pragma once

#include "transfer/TransferContext.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velomire::transfer {

// Sends the message in the buffer and, after each NAK of the answer that `await` waits for, sends
// it again, at most ClosedLoop::maxResends times (counted in `resends`). Returns the last answer.
ClosedLoop::Answer SendWithHandshake(TransferContext& context,
                                     const std::function<ClosedLoop::Answer()>& await,
                                     int& resends);

// The handshake's CANCEL for `packet` (F0 7E cc 7D pp F7): what a closed-loop send sends when
// the user cancels it, so that the sampler stops waiting for the rest.
std::vector<std::uint8_t> SdsCancelMessage(int channel, int packet);

// "sample#4 (piano, left channel)", how the messages of a closed-loop send name a sample part.
std::string SamplePartText(const program::SampleBlock& sample, int part);

// After the answer to a sample part's header: whether its packets go with handshake, or why the
// transfer stops.
void TakeHeaderAnswer(TransferContext& context, ClosedLoop::Answer answer,
                      const program::SampleBlock& sample, int part);

} // namespace velomire::transfer
