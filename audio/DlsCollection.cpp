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
