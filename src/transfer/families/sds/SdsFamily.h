#pragma once

#include "transfer/families/Family.h"

namespace velomire::transfer {

// Any sampler of the MIDI Sample Dump Standard: a Dump Header and Data Packets per sample, no
// program.
class SdsFamily final : public Family {
public:
    std::string_view Name() const override;
    int ShownNameChars() const override;
    std::string_view TuneNotCarried() const override;
    FirstNumbers FirstSendNumbers() const override;
    void SendSamplePart(TransferContext& context, int entry, int part) const override;
    bool SendsProgram() const override;
    WireEstimate PartOnWire(std::uint32_t lengthWords,
                            const SamplerModelInfo& model) const override;
    std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model,
                                             const LibrarianPorts& ports) const override;
    std::unique_ptr<RequestResponder> MakeResponder(std::int32_t model, SamplerMemory& memory,
                                                    const SendFaults& faults) const override;
    program::SampleChunks ReceivedChunks(const DecodedSample& sample) const override;
    std::string ReceivedNote(const DecodedSample& sample) const override;
    std::optional<DecodedMessage> Decode(std::span<const std::uint8_t> message, std::size_t offset,
                                         int packetBits) const override;
    std::optional<SamplerReply> ReplyOf(std::span<const std::uint8_t> message) const override;
    std::optional<int> DataPacketNumber(std::span<const std::uint8_t> message) const override;
    bool AnswerReceived(const SysExDecoder::Result& result,
                        ReceivingSampler& sampler) const override;
};

} // namespace velomire::transfer
