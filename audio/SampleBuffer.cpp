#include "SampleBuffer.h"

#include <cstdint>

#include <sys/mman.h>

void reserveSamples(std::vector<float>& buffer, std::size_t samples)
{
    buffer.reserve(samples);
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t end = begin + buffer.capacity() * sizeof(float);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = end & ~(kHugePage - 1);
    // Only whole huge pages inside the buffer; a refusal changes nothing.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}
