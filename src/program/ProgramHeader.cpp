#include "program/ProgramHeader.h"

namespace velomire::program {
namespace {

// Parameter words of a new program; word 0 is replaced by the program number.
constexpr std::array<std::int16_t, ProgramHeader::paramCount> defaultParams = {
    0, 0, 15, 1, 24, 127, 0, 255, 99, 0, 99, 20, 0,  0,  50, 0, 0, 0, 50, 0, 0, 30,
    0, 0, 2,  0, 0,  1,   0, 0,   1,  1, 0,  0,  10, 10, 10, 0, 0, 0, 0,  0, 0};

} // namespace

void ProgramHeader::Read(ByteReader& in) {
    in.Bytes(reservedText);
    reserved = in.U8();
    filesChecked = in.U8();
    programNumber = in.I16();
    in.Bytes(padding);
    in.Bytes(programName);
    for (auto& word : programParams) {
        word = in.I16();
    }
}

void ProgramHeader::Write(ByteWriter& out) const {
    out.Bytes(reservedText);
    out.U8(reserved);
    out.U8(filesChecked);
    out.I16(programNumber);
    out.Bytes(padding);
    out.Bytes(programName);
    for (auto word : programParams) {
        out.I16(word);
    }
}

void ProgramHeader::ResetForNewProgram(std::int32_t nextProgramNumber) {
    reservedText.fill(0);
    reserved = 0;
    programParams = defaultParams;
    programParams[0] = static_cast<std::int16_t>(nextProgramNumber & 0xFFFF);
}

} // namespace velomire::program
