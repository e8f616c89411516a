#include "MidiWriter.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

void appendBe32(Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(v >> shift));
}

bool twoDataBytes(std::uint8_t status)
{
    const std::uint8_t type = status & 0xF0;
    return type != 0xC0 && type != 0xD0;
}

Bytes trackBytes(const SmfTrack& track)
{
    auto events = track.events;
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.tick < b.tick; });
    Bytes out;
    std::uint32_t now = 0;
    std::uint8_t running = 0;
    for (const auto& e : events) {
        appendVlq(out, e.tick - now);
        now = e.tick;
        auto begin = e.bytes.begin();
        if (e.channelMessage && track.runningStatus && e.bytes[0] == running)
            ++begin;
        running = e.channelMessage ? e.bytes[0] : 0;
        out.insert(out.end(), begin, e.bytes.end());
    }
    if (track.endOfTrack) {
        appendVlq(out, std::max(track.endTick.value_or(now), now) - now);
        out.insert(out.end(), {0xFF, 0x2F, 0x00});
    }
    return out;
}

} // namespace

void appendVlq(Bytes& out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n > 1)
        out.push_back(groups[--n] | 0x80);
    out.push_back(groups[0]);
}

SmfTrack& SmfTrack::channel(std::uint32_t tick, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    Bytes bytes{status, data1};
    if (twoDataBytes(status))
        bytes.push_back(data2);
    events.push_back({tick, bytes, true});
    return *this;
}

SmfTrack& SmfTrack::note(std::uint32_t tick, std::uint32_t length, std::uint8_t ch, std::uint8_t key,
                         std::uint8_t velocity)
{
    channel(tick, 0x90 | ch, key, velocity);
    return channel(tick + length, 0x80 | ch, key, 0);
}

SmfTrack& SmfTrack::controller(std::uint32_t tick, std::uint8_t ch, std::uint8_t number, std::uint8_t value)
{
    return channel(tick, 0xB0 | ch, number, value);
}

SmfTrack& SmfTrack::program(std::uint32_t tick, std::uint8_t ch, std::uint8_t number)
{
    return channel(tick, 0xC0 | ch, number);
}

SmfTrack& SmfTrack::pitchBend(std::uint32_t tick, std::uint8_t ch, std::uint16_t value)
{
    return channel(tick, 0xE0 | ch, value & 0x7F, (value >> 7) & 0x7F);
}

SmfTrack& SmfTrack::tempo(std::uint32_t tick, std::uint32_t usPerQuarter)
{
    return meta(tick, 0x51, {std::uint8_t(usPerQuarter >> 16), std::uint8_t(usPerQuarter >> 8), std::uint8_t(usPerQuarter)});
}

SmfTrack& SmfTrack::meta(std::uint32_t tick, std::uint8_t type, const Bytes& data)
{
    Bytes bytes{0xFF, type};
    appendVlq(bytes, std::uint32_t(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    events.push_back({tick, bytes, false});
    return *this;
}

SmfTrack& SmfTrack::sysex(std::uint32_t tick, const Bytes& data)
{
    Bytes bytes{0xF0};
    appendVlq(bytes, std::uint32_t(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    events.push_back({tick, bytes, false});
    return *this;
}

SmfTrack& SmfTrack::raw(std::uint32_t tick, const Bytes& bytes)
{
    events.push_back({tick, bytes, false});
    return *this;
}

Bytes writeSmf(std::uint16_t format, std::uint16_t division, const std::vector<SmfTrack>& tracks)
{
    Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
    out.insert(out.end(), {std::uint8_t(format >> 8), std::uint8_t(format), std::uint8_t(tracks.size() >> 8),
                           std::uint8_t(tracks.size()), std::uint8_t(division >> 8), std::uint8_t(division)});
    for (const SmfTrack& track : tracks) {
        const Bytes body = trackBytes(track);
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        appendBe32(out, std::uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

Bytes midiFromMelody(const Melody& melody, std::uint16_t format)
{
    std::vector<SmfTrack> tracks(1);
    for (const MelodyTempo& t : melody.tempos)
        tracks[0].tempo(t.tick, std::uint32_t(std::lround(60'000'000.0 / t.bpm)));

    std::set<std::uint8_t> channels;
    for (const MelodyProgram& p : melody.programs)
        channels.insert(p.channel);
    for (const MelodyNote& n : melody.notes)
        channels.insert(n.channel);
    auto trackFor = [&](std::uint8_t ch) -> SmfTrack& {
        if (format == 0)
            return tracks[0];
        return tracks[1 + std::distance(channels.begin(), channels.find(ch))];
    };
    if (format != 0)
        tracks.resize(1 + channels.size());

    for (const MelodyProgram& p : melody.programs)
        trackFor(p.channel).program(0, p.channel, p.program);
    for (const MelodyNote& n : melody.notes)
        trackFor(n.channel).note(n.tick, n.length, n.channel, n.key, n.velocity);
    for (SmfTrack& t : tracks)
        t.endTick = melody.lengthTicks;
    return writeSmf(format, melody.ticksPerQuarter, tracks);
}
