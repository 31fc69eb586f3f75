#pragma once

#include "transfer/TransferContext.h"

namespace velomire::transfer {

// The Akai S900/S950 messages: the sample data as one long message sent in pieces, the sample
// header, and the program with every keygroup.
class S900Messages {
public:
    explicit S900Messages(TransferContext& context) : context(context) {}

    // False when the WAV file cannot be opened (nothing is sent then).
    bool SendS900SampleData(int entry, int part);
    void SendS900SampleHeader(int entry, int part);
    void SendS900Program();

private:
    TransferContext& context;
};

} // namespace velomire::transfer
