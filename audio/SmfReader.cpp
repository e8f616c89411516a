#include "SmfReader.h"

#include <algorithm>
#include <vector>

namespace {

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

bool hasId(std::span<const std::uint8_t> bytes, std::size_t at, const char* id)
{
    return bytes.size() >= at + 4 && std::equal(id, id + 4, bytes.begin() + std::ptrdiff_t(at));
}

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool atEnd() const { return pos_ >= bytes_.size(); }
    std::size_t left() const { return bytes_.size() - pos_; }
    std::optional<std::uint8_t> byte()
    {
        if (atEnd())
            return std::nullopt;
        return bytes_[pos_++];
    }
    // At most four bytes; a longer one means the track is garbage from here on.
    std::optional<std::uint32_t> vlq()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = byte();
            if (!b)
                return std::nullopt;
            value = value << 7 | (*b & 0x7Fu);
            if (!(*b & 0x80))
                return value;
        }
        return std::nullopt;
    }
    void skip(std::size_t n) { pos_ += std::min(n, left()); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

struct TickEvent {
    std::uint64_t tick = 0;
    MidiEvent message;
};

struct TempoChange {
    std::uint64_t tick = 0;
    std::uint32_t usPerQuarter = 500000;
};

struct Collected {
    std::vector<TickEvent> events;
    std::vector<TempoChange> tempos;
    std::size_t budget = kMaxSmfEvents;
};

int dataBytes(std::uint8_t status)
{
    const std::uint8_t type = status & 0xF0;
    return type == 0xC0 || type == 0xD0 ? 1 : 2;
}

// Returns the track's end tick: its end-of-track event, or the last event read before damage.
std::uint64_t readTrack(std::span<const std::uint8_t> data, Collected& out)
{
    ByteReader r(data);
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    while (!r.atEnd() && out.budget > 0) {
        const auto delta = r.vlq();
        const auto first = r.byte();
        if (!delta || !first)
            break;
        if (*first < 0xF0) {
            std::optional<std::uint8_t> d1;
            std::uint8_t status = *first;
            if (status < 0x80) {
                if (!running)
                    break;
                status = running;
                d1 = *first;
            } else {
                d1 = r.byte();
            }
            std::optional<std::uint8_t> d2 = std::uint8_t(0);
            if (dataBytes(status) == 2)
                d2 = r.byte();
            if (!d1 || !d2 || (*d1 & 0x80) || (*d2 & 0x80))
                break;
            running = status;
            tick += *delta;
            out.events.push_back({tick, {0.0, status, *d1, *d2}});
            --out.budget;
        } else if (*first == 0xFF) {
            // Running status is kept across meta and sysex events: correct files never rely on
            // either behaviour, and some sloppy ones rely on keeping it.
            const auto type = r.byte();
            const auto length = type ? r.vlq() : std::nullopt;
            if (!length || *length > r.left())
                break;
            tick += *delta;
            if (*type == 0x2F)
                return tick;
            if (*type == 0x51 && *length >= 3) {
                std::uint32_t us = 0;
                for (int i = 0; i < 3; ++i)
                    us = us << 8 | *r.byte();
                // A zero tempo would put everything after it at one instant.
                if (us > 0) {
                    out.tempos.push_back({tick, us});
                    --out.budget;
                }
                r.skip(*length - 3);
            } else {
                r.skip(*length);
            }
        } else if (*first == 0xF0 || *first == 0xF7) {
            const auto length = r.vlq();
            if (!length || *length > r.left())
                break;
            tick += *delta;
            r.skip(*length);
        } else {
            break; // system common/real-time bytes have no place in a file
        }
    }
    return tick;
}

class TempoMap {
public:
    // Ticks per quarter note, with the tempo changes (already in tick order).
    TempoMap(std::uint32_t ticksPerQuarter, const std::vector<TempoChange>& changes)
        : ticksPerQuarter_(ticksPerQuarter)
    {
        stretches_.push_back({0, 0.0, msPerTick(500000)});
        for (const TempoChange& change : changes) {
            if (change.tick == stretches_.back().tick)
                stretches_.back().msPerTick = msPerTick(change.usPerQuarter);
            else
                stretches_.push_back({change.tick, toMs(change.tick), msPerTick(change.usPerQuarter)});
        }
    }
    // A fixed rate, for SMPTE time codes.
    explicit TempoMap(double msPerTick) { stretches_.push_back({0, 0.0, msPerTick}); }

    double toMs(std::uint64_t tick) const
    {
        auto it = std::upper_bound(stretches_.begin(), stretches_.end(), tick,
                                   [](std::uint64_t t, const Stretch& s) { return t < s.tick; });
        const Stretch& s = *std::prev(it);
        return s.ms + double(tick - s.tick) * s.msPerTick;
    }

private:
    struct Stretch {
        std::uint64_t tick;
        double ms;
        double msPerTick;
    };
    double msPerTick(std::uint32_t usPerQuarter) const { return usPerQuarter / 1000.0 / ticksPerQuarter_; }

    std::uint32_t ticksPerQuarter_ = 1;
    std::vector<Stretch> stretches_;
};

// The SMF inside a RIFF 'RMID' file, or the bytes themselves.
std::span<const std::uint8_t> unwrapRmid(std::span<const std::uint8_t> bytes)
{
    if (!hasId(bytes, 0, "RIFF") || !hasId(bytes, 8, "RMID"))
        return bytes;
    std::uint64_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const std::uint64_t size = le32(&bytes[pos + 4]);
        if (hasId(bytes, pos, "data"))
            return bytes.subspan(pos + 8, std::min<std::uint64_t>(size, bytes.size() - pos - 8));
        pos += 8 + ((size + 1) & ~std::uint64_t(1));
    }
    return {};
}

} // namespace

std::optional<MidiSong> readStandardMidiFile(std::span<const std::uint8_t> bytes)
{
    bytes = unwrapRmid(bytes);
    if (bytes.size() < 14 || !hasId(bytes, 0, "MThd"))
        return std::nullopt;
    const std::uint64_t headerLength = be32(&bytes[4]);
    if (headerLength < 6 || headerLength > bytes.size() - 8)
        return std::nullopt;
    const std::uint16_t format = be16(&bytes[8]);
    const std::uint16_t division = be16(&bytes[12]);
    if (format > 2)
        return std::nullopt;

    std::optional<double> smpteMsPerTick;
    if (division & 0x8000) {
        const int framesPerSecond = -static_cast<std::int8_t>(division >> 8);
        const int ticksPerFrame = division & 0xFF;
        if ((framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 && framesPerSecond != 30) ||
            ticksPerFrame == 0)
            return std::nullopt;
        const double fps = framesPerSecond == 29 ? 30000.0 / 1001.0 : framesPerSecond;
        smpteMsPerTick = 1000.0 / (fps * ticksPerFrame);
    } else if (division == 0) {
        return std::nullopt;
    }

    Collected collected;
    std::uint64_t endTick = 0;
    std::uint64_t pos = 8 + headerLength;
    while (pos + 8 <= bytes.size()) {
        const std::uint64_t length = be32(&bytes[pos + 4]);
        const std::uint64_t start = pos + 8;
        if (hasId(bytes, pos, "MTrk")) {
            const auto data = bytes.subspan(start, std::min<std::uint64_t>(length, bytes.size() - start));
            endTick = std::max(endTick, readTrack(data, collected));
            if (format == 2)
                break; // the later patterns of a format-2 file are not played one after another here
        }
        pos = start + length;
    }

    // Tracks were read one after another; merging keeps each track's order and, at one tick,
    // earlier tracks first. The last tempo change at a tick wins.
    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(collected.events.begin(), collected.events.end(), byTick);
    std::stable_sort(collected.tempos.begin(), collected.tempos.end(), byTick);
    const TempoMap map = smpteMsPerTick ? TempoMap(*smpteMsPerTick) : TempoMap(division, collected.tempos);

    MidiSong song;
    song.events.reserve(collected.events.size());
    for (const TickEvent& e : collected.events) {
        MidiEvent message = e.message;
        message.timeMs = map.toMs(e.tick);
        song.events.push_back(message);
    }
    song.lengthMs = map.toMs(endTick);
    song.loopStartMs = 0.0;
    song.loopEndMs = song.lengthMs;
    return song;
}
