#pragma once

#include "transfer/TransferContext.h"

#include <functional>
#include <string>
#include <vector>

namespace velomire::transfer {

// Puts a message that was sent before back into the empty buffer, to send it again.
void Refill(MidiOutPort& port, const std::vector<std::uint8_t>& bytes);

// Sends the message in the buffer and, after each NAK of the answer that `await` waits for, sends
// it again, at most ClosedLoop::maxResends times (counted in `resends`). Returns the last answer.
ClosedLoop::Answer SendWithHandshake(TransferContext& context,
                                     const std::function<ClosedLoop::Answer()>& await,
                                     int& resends);

// "sample#4 (piano, left channel)", how the messages of a closed-loop send name a sample part.
std::string SamplePartText(const program::SampleBlock& sample, int part);

// After the answer to a sample part's header: whether its packets go with handshake, or why the
// transfer stops.
void TakeHeaderAnswer(TransferContext& context, ClosedLoop::Answer answer,
                      const program::SampleBlock& sample, int part);

} // namespace velomire::transfer
