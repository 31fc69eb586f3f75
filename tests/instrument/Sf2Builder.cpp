#include "instrument/Sf2Builder.h"

#include <algorithm>

namespace velomire::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

void U8(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
}
void U16(Bytes& b, std::uint32_t v) {
    U8(b, v);
    U8(b, v >> 8);
}
void U32(Bytes& b, std::uint32_t v) {
    U16(b, v);
    U16(b, v >> 16);
}
void Name(Bytes& b, const std::string& name) {
    for (std::size_t i = 0; i < 20; ++i)
        U8(b, i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
}
void Tag(Bytes& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}

Bytes Chunk(const char* id, const Bytes& body) {
    Bytes chunk;
    Tag(chunk, id);
    U32(chunk, static_cast<std::uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    if (body.size() % 2)
        chunk.push_back(0);
    return chunk;
}

Bytes List(const char* type, const std::vector<Bytes>& chunks) {
    Bytes body;
    Tag(body, type);
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return Chunk("LIST", body);
}

// The bag, modulator and generator chunks of a level's zones.
void Zones(const std::vector<const std::vector<Sf2Zone>*>& owners, Bytes& bags, Bytes& mods,
           Bytes& gens, std::vector<std::uint16_t>& firstBag) {
    std::uint16_t bag = 0, gen = 0, mod = 0;
    for (const auto* zones : owners) {
        firstBag.push_back(bag);
        for (const Sf2Zone& zone : *zones) {
            U16(bags, gen);
            U16(bags, mod);
            for (const Sf2Gen& g : zone.gens) {
                U16(gens, g.oper);
                U16(gens, g.amount);
            }
            for (std::uint16_t destination : zone.mods) {
                U16(mods, 0x0502); // note-on velocity, negative unipolar
                U16(mods, destination);
                U16(mods, 100);
                U16(mods, 0);
                U16(mods, 0);
            }
            gen = static_cast<std::uint16_t>(gen + zone.gens.size());
            mod = static_cast<std::uint16_t>(mod + zone.mods.size());
            ++bag;
        }
    }
    firstBag.push_back(bag);
    U16(bags, gen);
    U16(bags, mod);
    mods.insert(mods.end(), 10, 0);
    gens.insert(gens.end(), 4, 0);
}

} // namespace

std::vector<std::uint8_t> BuildSf2(const std::vector<Sf2Preset>& presets,
                                   const std::vector<Sf2Instrument>& instruments,
                                   const std::vector<Sf2Sample>& samples) {
    Bytes smpl, sm24, shdr;
    const bool wide = std::any_of(samples.begin(), samples.end(),
                                  [](const Sf2Sample& s) { return !s.low.empty(); });
    for (const Sf2Sample& s : samples) {
        const auto start = static_cast<std::uint32_t>(smpl.size() / 2);
        for (std::size_t i = 0; i < s.words.size(); ++i) {
            U16(smpl, static_cast<std::uint16_t>(s.words[i]));
            U8(sm24, i < s.low.size() ? s.low[i] : 0);
        }
        for (int pad = 0; pad < 46; ++pad) { // the 46 zero frames after every sample
            U16(smpl, 0);
            U8(sm24, 0);
        }
        const auto end = start + static_cast<std::uint32_t>(s.words.size());
        Name(shdr, s.name);
        U32(shdr, start);
        U32(shdr, end);
        U32(shdr, start + s.loopStart);
        U32(shdr, start + s.loopEnd);
        U32(shdr, s.rate);
        U8(shdr, s.pitch);
        U8(shdr, static_cast<std::uint8_t>(s.correction));
        U16(shdr, s.link);
        U16(shdr, s.type);
    }
    Name(shdr, "EOS");
    shdr.insert(shdr.end(), 26, 0);

    Bytes pbag, pmod, pgen, ibag, imod, igen, phdr, inst;
    std::vector<const std::vector<Sf2Zone>*> presetZones, instrumentZones;
    for (const Sf2Preset& p : presets)
        presetZones.push_back(&p.zones);
    for (const Sf2Instrument& i : instruments)
        instrumentZones.push_back(&i.zones);
    std::vector<std::uint16_t> presetBags, instrumentBags;
    Zones(presetZones, pbag, pmod, pgen, presetBags);
    Zones(instrumentZones, ibag, imod, igen, instrumentBags);
    for (std::size_t i = 0; i <= presets.size(); ++i) {
        Name(phdr, i < presets.size() ? presets[i].name : "EOP");
        U16(phdr, i < presets.size() ? presets[i].preset : 0);
        U16(phdr, i < presets.size() ? presets[i].bank : 0);
        U16(phdr, presetBags[i]);
        U32(phdr, 0);
        U32(phdr, 0);
        U32(phdr, 0);
    }
    for (std::size_t i = 0; i <= instruments.size(); ++i) {
        Name(inst, i < instruments.size() ? instruments[i].name : "EOI");
        U16(inst, instrumentBags[i]);
    }

    Bytes ifil;
    U16(ifil, 2);
    U16(ifil, 1);
    const Bytes info =
        List("INFO", {Chunk("ifil", ifil), Chunk("isng", {'E', 'M', 'U', '8', '0', '0', '0', 0}),
                      Chunk("INAM", {'T', 'e', 's', 't', 0, 0})});
    std::vector<Bytes> data = {Chunk("smpl", smpl)};
    if (wide)
        data.push_back(Chunk("sm24", sm24));
    const Bytes sdta = List("sdta", data);
    const Bytes pdta =
        List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", pmod),
                      Chunk("pgen", pgen), Chunk("inst", inst), Chunk("ibag", ibag),
                      Chunk("imod", imod), Chunk("igen", igen), Chunk("shdr", shdr)});
    Bytes body;
    Tag(body, "sfbk");
    for (const Bytes* part : {&info, &sdta, &pdta})
        body.insert(body.end(), part->begin(), part->end());
    return Chunk("RIFF", body);
}

} // namespace velomire::test
