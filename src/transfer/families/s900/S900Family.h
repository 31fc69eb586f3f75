#pragma once

#include "transfer/families/Family.h"

namespace velomire::transfer {

// The Akai S900 and S950: the sample data as one long message, then its header; the program
// with every keygroup in one message.
class S900Family final : public Family {
public:
    std::string_view Name() const override;
    int ShownNameChars() const override;
    bool PlaysOnAllVoices() const override { return true; }
    std::size_t LayersPerKey() const override { return 2; }
    ImportedRate RateOfImport(std::uint32_t rate) const override;
    std::string_view TuneNotCarried() const override;
    std::string_view ImportLoss() const override;
    FirstNumbers FirstSendNumbers() const override;
    void SendSamplePart(TransferContext& context, int entry, int part) const override;
    bool SendsProgram() const override;
    WireEstimate PartOnWire(std::uint32_t lengthWords,
                            const SamplerModelInfo& model) const override;
    std::string NumbersRefusal(std::int32_t program, std::int32_t firstSample,
                               std::int64_t lastSample) const override;
    void SendProgram(TransferContext& context) const override;
    bool HandshakeConfirmsData() const override { return false; }
    WireEstimate ProgramOnWire(int entries, int parts,
                               const SamplerModelInfo& model) const override;
    const disk::FamilyImages* Images() const override;
    std::optional<StereoOutputs> StereoKeygroupOutputs() const override;
    std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model,
                                             const LibrarianPorts& ports) const override;
    std::unique_ptr<RequestResponder> MakeResponder(std::int32_t model, SamplerMemory& memory,
                                                    const SendFaults& faults) const override;
    program::SampleChunks ReceivedChunks(const DecodedSample& sample) const override;
    bool ReceivedZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                       program::ProgramHeader& header,
                       std::vector<ReceivedZone>& zones) const override;
    std::optional<DecodedMessage> Decode(std::span<const std::uint8_t> message, std::size_t offset,
                                         int packetBits) const override;
    std::optional<SamplerReply> ReplyOf(std::span<const std::uint8_t> message) const override;
    std::size_t LongestSentMessage(std::uint32_t memoryWords) const override;
    std::size_t Arriving(std::span<const std::uint8_t> message,
                         ReceivingSampler& sampler) const override;
};

} // namespace velomire::transfer
