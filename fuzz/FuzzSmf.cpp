// The MIDI reader on arbitrary bytes.
#include "SmfReader.h"
#include "SongChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto song = readStandardMidiFile({data, size})) {
        if (song->events.size() > kMaxSmfEvents) std::abort();
        checkSong(*song);
    }
    return 0;
}
