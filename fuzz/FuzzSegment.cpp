// The segment reader on arbitrary bytes, and the copy of each DLS collection it finds that the
// synthesizer would load.
#include "DlsCollection.h"
#include "SegmentReader.h"
#include "SongChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto song = readSegmentFile({data, size})) {
        if (song->events.size() > kMaxSegmentEvents) std::abort();
        checkSong(*song);
        for (const auto& collection : song->collections) {
            const std::size_t size = playableDlsCopy(collection).size();
            if (size != 0 && size != collection.size()) std::abort();
        }
    }
    return 0;
}
