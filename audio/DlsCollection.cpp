#include "DlsCollection.h"

#include <algorithm>

using namespace riff;

namespace {

constexpr std::uint32_t kDrums = 0x80000000u;

// The instruments of a collection: the lists 'ins ' inside 'lins'.
std::vector<Chunk> instrumentsOf(Bytes form)
{
    if (!isDlsCollection(form)) return {};
    const std::vector<Chunk> parts = chunksIn(form.subspan(12));
    const Chunk* lins = findList(parts, fourcc("lins"));
    if (lins == nullptr) return {};
    std::vector<Chunk> instruments;
    for (const Chunk& c : chunksIn(lins->body))
        if (isList(c, fourcc("ins "))) instruments.push_back(c);
    return instruments;
}

// Whether every region's sample is there: FluidSynth's DLS reader (libinstpatch) crashes on a
// region whose wave link leads nowhere. Every region needs a wave link into the pool table,
// every table entry a whole wave with its format and data.
bool isWhole(Bytes form)
{
    const std::uint32_t declared = field<std::uint32_t>(form, 4);
    if (!isDlsCollection(form) || declared < 4 || std::uint64_t(declared) + 8 > form.size()) return false;
    const std::vector<Chunk> parts = chunksIn(form.subspan(12, declared - 4));
    const Chunk* ptbl = findChunk(parts, fourcc("ptbl"));
    const Chunk* wvpl = findList(parts, fourcc("wvpl"));
    if (ptbl == nullptr || wvpl == nullptr || ptbl->data.size() < 8) return false;
    const std::uint32_t headerSize = field<std::uint32_t>(ptbl->data, 0);
    const std::uint64_t cues = field<std::uint32_t>(ptbl->data, 4);
    if (headerSize < 8 || headerSize + 4 * cues > ptbl->data.size()) return false;
    const Bytes pool = wvpl->body;
    for (std::uint64_t i = 0; i < cues; ++i) {
        const std::uint64_t at = field<std::uint32_t>(ptbl->data, headerSize + 4 * i);
        if (at + 12 > pool.size() || field<std::uint32_t>(pool, at) != fourcc("LIST") ||
            field<std::uint32_t>(pool, at + 8) != fourcc("wave"))
            return false;
        const std::uint64_t size = field<std::uint32_t>(pool, at + 4);
        if (size < 4 || at + 8 + size > pool.size()) return false;
        const std::vector<Chunk> wave = chunksIn(pool.subspan(at + 12, size - 4));
        const Chunk* fmt = findChunk(wave, fourcc("fmt "));
        if (fmt == nullptr || fmt->data.size() < 16 || findChunk(wave, fourcc("data")) == nullptr) return false;
    }
    const std::vector<Chunk> instruments = instrumentsOf(form);
    if (instruments.empty()) return false;
    for (const Chunk& ins : instruments) {
        const std::vector<Chunk> insParts = chunksIn(ins.body);
        const Chunk* insh = findChunk(insParts, fourcc("insh"));
        const Chunk* lrgn = findList(insParts, fourcc("lrgn"));
        if (insh == nullptr || insh->data.size() < 12 || lrgn == nullptr) return false;
        for (const Chunk& rgn : chunksIn(lrgn->body)) {
            if (!isList(rgn, fourcc("rgn ")) && !isList(rgn, fourcc("rgn2"))) continue;
            const std::vector<Chunk> region = chunksIn(rgn.body);
            const Chunk* rgnh = findChunk(region, fourcc("rgnh"));
            const Chunk* wlnk = findChunk(region, fourcc("wlnk"));
            if (rgnh == nullptr || rgnh->data.size() < 12 || wlnk == nullptr || wlnk->data.size() < 12 ||
                field<std::uint32_t>(wlnk->data, 8) >= cues)
                return false;
        }
    }
    return true;
}

} // namespace

bool isDlsCollection(Bytes form)
{
    return form.size() >= 12 && field<std::uint32_t>(form, 0) == fourcc("RIFF") &&
           field<std::uint32_t>(form, 8) == fourcc("DLS ");
}

std::vector<std::uint32_t> dlsInstruments(Bytes form)
{
    std::vector<std::uint32_t> patches;
    for (const Chunk& ins : instrumentsOf(form)) {
        const std::vector<Chunk> parts = chunksIn(ins.body);
        const Chunk* insh = findChunk(parts, fourcc("insh"));
        if (insh == nullptr || insh->data.size() < 12) continue;
        const std::uint32_t bank = field<std::uint32_t>(insh->data, 4);
        const std::uint32_t program = field<std::uint32_t>(insh->data, 8);
        patches.push_back((bank & kDrums) | (bank & 0x7F7F) << 8 | (program & 0x7F));
    }
    std::sort(patches.begin(), patches.end());
    return patches;
}

int dlsSynthBank(std::uint32_t patch)
{
    const int msb = int(patch >> 16 & 0x7F);
    const int lsb = int(patch >> 8 & 0x7F);
    return ((msb << 8 | lsb) & 0x3FFF) + ((patch & kDrums) ? 128 : 0);
}

std::vector<std::uint8_t> playableDlsCopy(Bytes form)
{
    if (!isWhole(form)) return {};
    std::vector<std::uint8_t> copy(form.begin(), form.end());
    const Bytes view(copy);
    for (const Chunk& ins : instrumentsOf(view)) {
        const std::vector<Chunk> parts = chunksIn(ins.body);
        const Chunk* lrgn = findList(parts, fourcc("lrgn"));
        if (lrgn == nullptr) continue;
        for (const Chunk& rgn : chunksIn(lrgn->body)) {
            if (!isList(rgn, fourcc("rgn ")) && !isList(rgn, fourcc("rgn2"))) continue;
            const std::vector<Chunk> region = chunksIn(rgn.body);
            const Chunk* rgnh = findChunk(region, fourcc("rgnh"));
            if (rgnh == nullptr || rgnh->data.size() < 8) continue;
            const std::uint16_t low = field<std::uint16_t>(rgnh->data, 4);
            const std::uint16_t high = field<std::uint16_t>(rgnh->data, 6);
            if (high > low || (high == low && high != 0)) continue;
            // The chunk's bytes lie within the copy: write through its offset.
            std::uint8_t* range = copy.data() + (rgnh->data.data() - view.data()) + 4;
            range[0] = 0;
            range[1] = 0;
            range[2] = 127;
            range[3] = 0;
        }
    }
    return copy;
}
