#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

/// A sound's stereo frames as the mixer plays them, kept compactly: 16-bit samples that share
/// one power-of-two scale per block of frames (block floating point). Each block keeps about
/// 90 dB or more of resolution below its own peak, a quiet passage as much as a loud one, takes
/// float files' peaks above full scale unclipped, and a 16-bit file at the device rate exactly;
/// at 4 bytes a frame, half of plain floats.
///
/// A resampled sound also keeps what its ends gain when the sound loops: the frames hold the
/// first pass of a loop (silence before the start, the start again after the end); headWrap
/// is added to the first frames on every later pass, tailWrap taken from the last frames when
/// the sound plays once.
class SampleBuffer {
public:
    static constexpr int kBlockFrames = 64;

    SampleBuffer() = default;
    /// Room for `frames` frames, left unwritten (memory is taken as the frames are written).
    explicit SampleBuffer(std::int64_t frames);

    std::int64_t frames() const { return frames_; }
    /// Appends interleaved stereo frames.
    void append(std::span<const float> stereo);
    /// Writes what is appended but not yet stored; the frame count becomes what was appended.
    void close();
    /// Multiplies every sample, the wraps included.
    void scale(float gain);
    void setWraps(std::vector<float> headWrap, std::vector<float> tailWrap);

    float sample(std::int64_t frame, int channel) const
    {
        return static_cast<float>(samples_[static_cast<std::size_t>(2 * frame + channel)]) *
               scales_[static_cast<std::size_t>(frame / kBlockFrames)];
    }
    std::int64_t headWrapFrames() const { return static_cast<std::int64_t>(headWrap_.size() / 2); }
    std::int64_t tailWrapFrames() const { return static_cast<std::int64_t>(tailWrap_.size() / 2); }
    const float* headWrap() const { return headWrap_.data(); }
    const float* tailWrap() const { return tailWrap_.data(); }
    /// A frame as it sounds when the sound plays once.
    float onceSample(std::int64_t frame, int channel) const;

private:
    void storeBlock(const float* stereo, int frames);

    std::unique_ptr<std::int16_t[]> samples_;
    std::unique_ptr<float[]> scales_;
    std::int64_t capacity_ = 0;
    std::int64_t frames_ = 0;       // stored
    std::vector<float> pending_;    // appended frames short of a whole block
    std::vector<float> headWrap_;
    std::vector<float> tailWrap_;
};
