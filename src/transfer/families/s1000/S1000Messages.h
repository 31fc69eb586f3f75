#pragma once

#include "transfer/TransferContext.h"

#include <string>

namespace velomire::transfer {

// The Akai S1000/S3000 family messages: sample header, program header and keygroups, with
// 150-byte blocks for the S1000/S1100 and 192-byte blocks for the later models.
class S1000Messages {
public:
    explicit S1000Messages(TransferContext& context) : context(context) {}

    // Waits 600 ms after the message.
    void SendS1000SampleHeader(int entry, int part);
    // The program header (then 1000 ms) and one keygroup message per entry (then 200 ms each).
    void SendS1000Program();

private:
    bool Refused(const std::string& what);

    TransferContext& context;
};

} // namespace velomire::transfer
