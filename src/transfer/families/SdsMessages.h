#pragma once

#include "transfer/TransferContext.h"

namespace velomire::transfer {

// MIDI Sample Dump Standard messages, sent open-loop (no handshakes): the Dump Header and the
// Data Packets of one sample part. The packets also carry the audio of the S1000 family.
class SdsMessages {
public:
    explicit SdsMessages(TransferContext& context) : context(context) {}

    void SendSdsDumpHeader(int entry, int part);
    // False when the WAV file cannot be opened (nothing is sent then). Waits 700 ms at the end.
    bool SendSdsSampleData(int entry, int part);

private:
    TransferContext& context;
};

} // namespace velomire::transfer
