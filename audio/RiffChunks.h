#pragma once

// Reading the RIFF chunk trees of DirectMusic and DLS files, as forgiving as the authoring tools'
// output needs and as strict as hostile input needs: nothing here reads outside the bytes given.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace riff {

using Bytes = std::span<const std::uint8_t>;
using Guid = std::array<std::uint8_t, 16>;

constexpr std::uint32_t fourcc(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

// Little-endian fields; a field past the end of its item reads as zero.
template <typename T>
T field(Bytes b, std::size_t at)
{
    T value{};
    if (at <= b.size() && b.size() - at >= sizeof(T)) std::memcpy(&value, b.data() + at, sizeof(T));
    return value;
}

inline Guid guidAt(Bytes b, std::size_t at)
{
    Guid g{};
    if (at <= b.size() && b.size() - at >= g.size()) std::memcpy(g.data(), b.data() + at, g.size());
    return g;
}

struct Chunk {
    std::uint32_t id = 0;
    std::uint32_t type = 0; // the form or list type of a RIFF or LIST chunk
    Bytes data;             // all of the chunk's data
    Bytes body;             // a RIFF or LIST chunk's children; otherwise the data
    std::size_t offset = 0; // of the chunk's header within the area it was found in
};

// The chunks lying in `area`, as far as their headers fit; a size running past the end is cut short.
inline std::vector<Chunk> chunksIn(Bytes area)
{
    std::vector<Chunk> chunks;
    std::size_t at = 0;
    while (area.size() - at >= 8) {
        Chunk c;
        c.offset = at;
        c.id = field<std::uint32_t>(area, at);
        const std::uint64_t size = field<std::uint32_t>(area, at + 4);
        const std::size_t start = at + 8;
        c.data = area.subspan(start, std::min<std::uint64_t>(size, area.size() - start));
        c.body = c.data;
        if ((c.id == fourcc("RIFF") || c.id == fourcc("LIST")) && c.data.size() >= 4) {
            c.type = field<std::uint32_t>(c.data, 0);
            c.body = c.data.subspan(4);
        }
        chunks.push_back(c);
        const std::uint64_t next = start + ((size + 1) & ~std::uint64_t(1));
        if (next >= area.size()) break;
        at = static_cast<std::size_t>(next);
    }
    return chunks;
}

inline bool isList(const Chunk& c, std::uint32_t type)
{
    return (c.id == fourcc("LIST") || c.id == fourcc("RIFF")) && c.type == type;
}

inline const Chunk* findChunk(const std::vector<Chunk>& chunks, std::uint32_t id)
{
    for (const Chunk& c : chunks)
        if (c.id == id) return &c;
    return nullptr;
}

inline const Chunk* findList(const std::vector<Chunk>& chunks, std::uint32_t type)
{
    for (const Chunk& c : chunks)
        if (isList(c, type)) return &c;
    return nullptr;
}

// The chunk found points into the vector: one that is about to go away is refused.
const Chunk* findChunk(std::vector<Chunk>&& chunks, std::uint32_t id) = delete;
const Chunk* findList(std::vector<Chunk>&& chunks, std::uint32_t type) = delete;

// Calls `each` for every whole item of an item array whose item size is at least `minSize`;
// `each` returns false to stop.
template <typename F>
void forEachItem(Bytes array, std::size_t minSize, F each)
{
    const std::uint32_t itemSize = field<std::uint32_t>(array, 0);
    if (array.size() < 4 || itemSize < minSize || itemSize == 0) return;
    for (std::size_t at = 4; array.size() - at >= itemSize; at += itemSize)
        if (!each(array.subspan(at, itemSize))) return;
}

// A NUL-terminated UTF-16LE string (names in DirectMusic files) as UTF-8; unpaired surrogates
// become U+FFFD.
inline std::string utf8Of(Bytes utf16)
{
    std::string out;
    for (std::size_t at = 0; utf16.size() - at >= 2; at += 2) {
        std::uint32_t c = field<std::uint16_t>(utf16, at);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF && utf16.size() - at >= 4) {
            const std::uint32_t low = field<std::uint16_t>(utf16, at + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace riff
