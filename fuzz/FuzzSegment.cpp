// The segment reader on arbitrary bytes.
#include "SegmentReader.h"
#include "SongChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto song = readSegmentFile({data, size})) {
        if (song->events.size() > kMaxSegmentEvents) std::abort();
        checkSong(*song);
    }
    return 0;
}
