#pragma once

#include "transfer/families/Family.h"

namespace velomire::transfer {

// The Akai S1000/S3000 family: a sample header answered like an SDS Dump Header, the data as SDS
// packets, then the program header and one message per keygroup.
class S1000Family final : public Family {
public:
    std::string_view Name() const override;
    int ShownNameChars() const override;
    std::string ShownName(std::string_view name) const override;
    ImportedRate RateOfImport(std::uint32_t rate) const override;
    FirstNumbers FirstSendNumbers() const override;
    void SendSamplePart(TransferContext& context, int entry, int part) const override;
    bool SendsProgram() const override;
    WireEstimate PartOnWire(std::uint32_t lengthWords,
                            const SamplerModelInfo& model) const override;
    std::string SampleRefusal(const program::SampleBlock& sample,
                              const std::string& fileName) const override;
    std::optional<OffPitch> OffPitchOf(const program::SampleBlock& sample) const override;
    void SendProgram(TransferContext& context) const override;
    WireEstimate ProgramOnWire(int entries, int parts,
                               const SamplerModelInfo& model) const override;
    const disk::FamilyImages* Images() const override;
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
    bool AnswerReceived(const SysExDecoder::Result& result,
                        ReceivingSampler& sampler) const override;
};

} // namespace velomire::transfer
