#include "StyleComposer.h"

#include <algorithm>
#include <limits>
#include <map>

namespace {

// Without a command track the music still has to play at some level: one inside the range of
// any pattern meant for ordinary play, a little above the middle.
constexpr int kDefaultGrooveLevel = 62;
// A hostile segment may ask for millions of one-beat patterns, or a part of a tick repeated
// over a pattern of hours; the composer stops there.
constexpr std::size_t kMaxPatternStarts = 65536;
constexpr std::int64_t kMaxWork = std::int64_t{1} << 24;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

constexpr std::uint8_t kFixed = 0x00;
constexpr std::uint8_t kPartsMode = 0x10;

// Variations with no chord criterion at all are switched off.
constexpr std::uint32_t kVariationCriteria = 0x0FFFFFFF;

const Subchord kDefaultSubchord{0x91, 0xAB5AB5, 0xFFFFFFFF, 0xFFFFFFFF, 12, 0}; // C major

std::int64_t measureTicks(const TimeSignature& sig, std::int64_t fallback)
{
    const std::int64_t m = sig.measureTicks();
    return m > 0 ? m : fallback;
}

// A grid position in the part's own time signature.
std::int64_t gridTicks(std::int32_t gridStart, const TimeSignature& sig)
{
    const std::int64_t perBeat = std::max<std::int64_t>(1, sig.gridsPerBeat);
    const std::int64_t beat = sig.beatTicks();
    const std::int64_t grid = beat / perBeat; // DirectMusic's rounding for uneven grids is unknown
    std::int64_t beats = gridStart / perBeat, rest = gridStart % perBeat;
    if (rest < 0) {
        rest += perBeat;
        --beats;
    }
    return beats * beat + rest * grid;
}

std::uint16_t embellishmentOf(std::uint8_t command)
{
    switch (command) {
    case 1: return 0x1; // fill
    case 2: return 0x4; // intro
    case 3: return 0x2; // break
    case 4:
    case 5: return 0x8; // end; an end-and-intro is heard as its end
    default: return 0;
    }
}

struct VariationState {
    int last = -1;
    std::uint32_t played = 0;
};

class Composer {
public:
    Composer(const StyleTracks& tracks, std::int64_t length, std::mt19937& random, std::size_t maxItems,
             NoteMapping mapping, Composition& out)
        : tracks_(tracks), length_(length), random_(random), maxItems_(maxItems), mapping_(mapping), out_(out)
    {
    }

    void run()
    {
        std::vector<StyleCommand> commands = tracks_.commands;
        if (!tracks_.hasCommandTrack) commands = {StyleCommand{0, 0, kDefaultGrooveLevel, 0, 0}};
        std::size_t nextCommand = 0;
        std::size_t styleIndex = tracks_.styles.size();
        std::int64_t t = 0;
        for (std::size_t starts = 0; t < length_ && starts < kMaxPatternStarts && !stopped(); ++starts) {
            const std::size_t si = styleAt(t);
            if (si != styleIndex) { // a new style starts its patterns and variations afresh
                styleIndex = si;
                lastPattern_ = -1;
                playedPatterns_.clear();
                variations_.clear();
            }
            std::int64_t limit = length_;
            if (si + 1 < tracks_.styles.size()) limit = std::min<std::int64_t>(limit, tracks_.styles[si + 1].time);
            else if (si == tracks_.styles.size() && !tracks_.styles.empty())
                limit = std::min<std::int64_t>(limit, tracks_.styles.front().time);

            const StyleCommand* taken = nullptr;
            while (nextCommand < commands.size() && commands[nextCommand].time <= t) {
                taken = &commands[nextCommand++];
                if (taken->command == 0) grooveLevel_ = taken->grooveLevel;
                // DX7 files hold garbage here; out of range means none and random.
                grooveRange_ = taken->grooveRange <= 100 ? taken->grooveRange & ~1 : 0;
                repeatMode_ = taken->repeatMode <= 5 ? taken->repeatMode : 0;
            }
            if (nextCommand < commands.size()) limit = std::min<std::int64_t>(limit, commands[nextCommand].time);
            limit = std::max(limit, t + 1);

            const Style* style = si < tracks_.styles.size() && tracks_.styles[si].style ? &*tracks_.styles[si].style : nullptr;
            if (style == nullptr) { // nothing plays until a style that was found
                t = limit;
                continue;
            }
            const std::int64_t styleMeasure = measureTicks(style->timeSig, 3072);
            const std::uint16_t embellishment = taken != nullptr ? embellishmentOf(taken->command) : 0;
            const int pattern = choosePattern(*style, grooveLevel(), embellishment, t, limit);
            if (pattern < 0) { // nothing fits this level: silence for a measure, then another try
                t = std::min(t + styleMeasure, limit);
                continue;
            }
            const StylePattern& p = style->patterns[std::size_t(pattern)];
            out_.patterns.push_back({t, std::size_t(pattern)});
            const std::int64_t span = std::min(patternTicks(p, styleMeasure), limit - t);
            play(*style, p, t, span, styleMeasure);
            t += span;
        }
    }

private:
    bool stopped() const { return work_ > kMaxWork || out_.notes.size() + out_.curves.size() >= maxItems_; }

    int uniform(int halfRange)
    {
        if (halfRange <= 0) return 0;
        return std::uniform_int_distribution<int>(-halfRange, halfRange)(random_);
    }

    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_); }

    std::size_t styleAt(std::int64_t t) const
    {
        const auto& s = tracks_.styles;
        auto after = std::upper_bound(s.begin(), s.end(), t, [](std::int64_t v, const StyleChange& c) { return v < c.time; });
        return after == s.begin() ? s.size() : std::size_t(after - s.begin() - 1);
    }

    int grooveLevel()
    {
        const int level = grooveLevel_ + uniform(grooveRange_ / 2);
        return std::clamp(level, 1, 100);
    }

    static std::int64_t patternTicks(const StylePattern& p, std::int64_t styleMeasure)
    {
        return std::int64_t(std::max<std::uint16_t>(1, p.measures)) * measureTicks(p.timeSig, styleMeasure);
    }

    // Every chord change the pattern would play over falls on a beat its chord rhythm marks.
    bool fitsChords(const StylePattern& p, std::int64_t start, std::int64_t end, std::int64_t styleMeasure)
    {
        const std::int64_t measure = measureTicks(p.timeSig, styleMeasure);
        const std::int64_t beat = p.timeSig.beatTicks();
        const auto& chords = tracks_.chords;
        auto from = std::lower_bound(chords.begin(), chords.end(), start,
                                     [](const Chord& c, std::int64_t t) { return c.time < t; });
        for (auto it = from; it != chords.end() && it->time < end && !stopped(); ++it) {
            const Chord& c = *it;
            ++work_;
            if (c.silent) continue;
            const std::int64_t at = c.time - start;
            const std::size_t m = std::size_t(at / measure);
            const std::int64_t b = at % measure / beat;
            if (m >= p.rhythm.size()) continue; // no rhythm given: any change fits
            if (b >= 32 || !(p.rhythm[m] >> b & 1)) return false;
        }
        return true;
    }

    int choosePattern(const Style& style, int level, std::uint16_t embellishment, std::int64_t t, std::int64_t limit)
    {
        const std::int64_t styleMeasure = measureTicks(style.timeSig, 3072);
        work_ += std::int64_t(style.patterns.size());
        std::vector<std::size_t> candidates;
        auto gather = [&](std::uint16_t wanted) {
            for (std::size_t i = 0; i < style.patterns.size(); ++i) {
                const StylePattern& p = style.patterns[i];
                if (p.embellishment == wanted && p.grooveBottom <= level && level <= p.grooveTop) candidates.push_back(i);
            }
        };
        gather(embellishment);
        // A fill or break the style lacks is better heard as the groove than as silence.
        if (candidates.empty() && embellishment != 0) gather(0);
        if (candidates.empty()) return -1;

        // The longest of those that fit the chord changes; when none fits, any.
        std::vector<std::size_t> fitting;
        std::int64_t longest = 0;
        for (std::size_t i : candidates) {
            const StylePattern& p = style.patterns[i];
            const std::int64_t ticks = patternTicks(p, styleMeasure);
            if (!fitsChords(p, t, std::min(t + ticks, limit), styleMeasure)) continue;
            if (ticks > longest) fitting.clear();
            if (ticks >= longest) {
                longest = ticks;
                fitting.push_back(i);
            }
        }
        if (fitting.empty()) fitting = candidates;

        std::size_t chosen = fitting[0];
        const auto lastAt = std::find(fitting.begin(), fitting.end(), std::size_t(lastPattern_));
        switch (repeatMode_) {
        case 1: // repeat the last
            chosen = lastAt != fitting.end() ? *lastAt : fitting[pick(fitting.size())];
            break;
        case 2: // in file order
        case 3: { // in file order from a random start
            if (lastPattern_ < 0) {
                chosen = repeatMode_ == 2 ? fitting[0] : fitting[pick(fitting.size())];
                break;
            }
            auto next = std::upper_bound(fitting.begin(), fitting.end(), std::size_t(lastPattern_));
            chosen = next != fitting.end() ? *next : fitting[0];
            break;
        }
        case 4: { // random, never the same twice running
            std::vector<std::size_t> others = fitting;
            if (others.size() > 1) std::erase(others, std::size_t(lastPattern_));
            chosen = others[pick(others.size())];
            break;
        }
        case 5: { // random, none again until all have played
            playedPatterns_.resize(style.patterns.size());
            std::vector<std::size_t> fresh;
            for (std::size_t i : fitting)
                if (!playedPatterns_[i]) fresh.push_back(i);
            if (fresh.empty()) {
                for (std::size_t i : fitting) playedPatterns_[i] = false;
                fresh = fitting;
            }
            chosen = fresh[pick(fresh.size())];
            playedPatterns_[chosen] = true;
            break;
        }
        default: chosen = fitting[pick(fitting.size())];
        }
        lastPattern_ = int(chosen);
        return int(chosen);
    }

    int chooseVariation(const StylePart& part, std::size_t partIndex, std::uint8_t order)
    {
        work_ += 32;
        std::vector<int> enabled;
        for (int v = 0; v < 32; ++v)
            if (part.variationChoices[std::size_t(v)] & kVariationCriteria) enabled.push_back(v);
        if (enabled.empty()) return -1;
        VariationState& state = variations_[partIndex];
        auto next = [&] {
            auto after = std::upper_bound(enabled.begin(), enabled.end(), state.last);
            return after != enabled.end() ? *after : enabled[0];
        };
        int v = 0;
        switch (order) {
        case 0: v = state.last < 0 ? enabled[0] : next(); break;
        case 2: v = state.last < 0 ? enabled[pick(enabled.size())] : next(); break;
        case 3: {
            std::vector<int> others = enabled;
            if (others.size() > 1) std::erase(others, state.last);
            v = others[pick(others.size())];
            break;
        }
        case 4: {
            std::vector<int> fresh;
            for (int e : enabled)
                if (!(state.played >> e & 1)) fresh.push_back(e);
            if (fresh.empty()) {
                state.played = 0;
                fresh = enabled;
            }
            v = fresh[pick(fresh.size())];
            state.played |= 1u << v;
            break;
        }
        default: v = enabled[pick(enabled.size())];
        }
        state.last = v;
        return v;
    }

    const Chord* chordAt(std::int64_t tick) const
    {
        const auto& c = tracks_.chords;
        if (c.empty()) return nullptr;
        auto after = std::upper_bound(c.begin(), c.end(), tick, [](std::int64_t t, const Chord& ch) { return t < ch.time; });
        return after == c.begin() ? &c.front() : &*std::prev(after);
    }

    const Subchord& subchordAt(std::int64_t tick, std::uint8_t level) const
    {
        const Chord* chord = chordAt(tick);
        if (chord == nullptr || chord->subchords.empty()) return kDefaultSubchord;
        for (const Subchord& s : chord->subchords)
            if (level < 32 && (s.levels >> level & 1)) return s;
        return chord->subchords.front();
    }

    void addNote(const StylePart& part, const PartReference& ref, const StyleNote& note, std::int64_t tick)
    {
        if (note.velocity == 0) return;
        const std::uint8_t mode = note.playMode == kPartsMode ? part.playMode : note.playMode;
        const std::optional<int> mapped = mapping_(note.musicValue, mode, subchordAt(tick, ref.subChordLevel), tracks_.keyRoot);
        if (!mapped || *mapped < 0 || *mapped > 127) return;
        int key = *mapped;
        // Fixed notes (drums) stay where they are written.
        if (mode != kFixed && part.invertUpper >= part.invertLower) {
            while (key > part.invertUpper && key >= 12) key -= 12;
            while (key < part.invertLower && key + 12 <= 127) key += 12;
        }
        ComposedNote n;
        n.tick = tick + uniform(styleRangeTicks(note.timeRange) / 2);
        n.duration = std::max<std::int64_t>(1, std::int64_t(note.duration) + uniform(styleRangeTicks(note.durationRange) / 2));
        n.pchannel = ref.pchannel;
        n.key = std::uint8_t(key);
        n.velocity = std::uint8_t(std::clamp(note.velocity + uniform(note.velocityRange / 2), 1, 127));
        out_.notes.push_back(n);
    }

    void play(const Style& style, const StylePattern& pattern, std::int64_t start, std::int64_t span, std::int64_t styleMeasure)
    {
        // Each start of a pattern picks every part's variation anew; parts sharing a lock play
        // the one their leader (high bit) or else the first of them picked. Which chords a
        // variation accepts is not published well enough to follow, so every variation
        // accepts every chord.
        std::vector<int> chosen(pattern.parts.size(), -1);
        std::map<std::uint8_t, int> locked;
        for (int leadersFirst = 1; leadersFirst >= 0; --leadersFirst) {
            for (std::size_t i = 0; i < pattern.parts.size(); ++i) {
                const PartReference& ref = pattern.parts[i];
                const bool leader = (ref.variationLock & 0x80) != 0;
                if (leader != bool(leadersFirst) || ref.part >= style.parts.size()) continue;
                const std::uint8_t lock = ref.variationLock & 0x7F;
                if (lock != 0) {
                    if (auto found = locked.find(lock); found != locked.end()) {
                        chosen[i] = found->second;
                        continue;
                    }
                }
                chosen[i] = chooseVariation(style.parts[ref.part], ref.part, ref.variationOrder);
                if (lock != 0) locked[lock] = chosen[i];
            }
        }

        for (std::size_t i = 0; i < pattern.parts.size() && !stopped(); ++i) {
            if (chosen[i] < 0) continue;
            const PartReference& ref = pattern.parts[i];
            const StylePart& part = style.parts[ref.part];
            const std::uint32_t bit = 1u << chosen[i];
            const std::int64_t partLength =
                std::int64_t(std::max<std::uint16_t>(1, part.measures)) * measureTicks(part.timeSig, styleMeasure);
            // A part shorter than the pattern goes round again; a longer one is cut.
            std::vector<std::pair<std::int64_t, const StyleNote*>> notes;
            std::vector<std::pair<std::int64_t, const StyleCurve*>> curves;
            for (const StyleNote& n : part.notes) {
                const std::int64_t at = gridTicks(n.gridStart, part.timeSig);
                if ((n.variations & bit) && at >= 0 && at < partLength) notes.emplace_back(at, &n);
            }
            for (const StyleCurve& c : part.curves) {
                const std::int64_t at = gridTicks(c.gridStart, part.timeSig);
                if ((c.variations & bit) && at >= 0 && at < partLength) curves.emplace_back(at, &c);
            }
            if (notes.empty() && curves.empty()) continue;
            for (std::int64_t round = 0; round < span && !stopped(); round += partLength) {
                work_ += std::int64_t(1 + notes.size() + curves.size());
                for (const auto& [at, note] : notes)
                    if (round + at < span && !stopped()) addNote(part, ref, *note, start + round + at + note->timeOffset);
                for (const auto& [at, curve] : curves)
                    if (round + at < span && !stopped())
                        out_.curves.push_back({start + round + at + curve->timeOffset, ref.pchannel, *curve});
            }
        }
    }

    const StyleTracks& tracks_;
    const std::int64_t length_;
    std::mt19937& random_;
    const std::size_t maxItems_;
    const NoteMapping mapping_;
    Composition& out_;

    std::int64_t work_ = 0;
    int grooveLevel_ = kDefaultGrooveLevel;
    int grooveRange_ = 0;
    int repeatMode_ = 0;
    int lastPattern_ = -1;
    std::vector<bool> playedPatterns_;
    std::map<std::size_t, VariationState> variations_;
};

} // namespace

const Style* StyleTracks::firstStyle() const
{
    if (styles.empty() || styles.front().time > 0 || !styles.front().style) return nullptr;
    // The last change at tick 0 is the one in force.
    auto last = std::find_if(styles.begin(), styles.end(), [](const StyleChange& c) { return c.time > 0; });
    const StyleChange& atStart = *std::prev(last);
    return atStart.style ? &*atStart.style : nullptr;
}

int styleRangeTicks(std::uint8_t v)
{
    if (v <= 190) return v;
    if (v <= 212) return (v - 190) * 5 + 190;
    if (v <= 232) return (v - 212) * 10 + 300;
    return (v - 232) * 50 + 500;
}

Composition composeStyle(const StyleTracks& tracks, std::int64_t lengthTicks, std::mt19937& random,
                         std::size_t maxItems, NoteMapping mapping)
{
    Composition out;
    if (lengthTicks <= 0 || tracks.styles.empty() || mapping == nullptr) return out;
    Composer(tracks, lengthTicks, random, maxItems, mapping, out).run();
    return out;
}
