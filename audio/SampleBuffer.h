#pragma once

#include <cstddef>
#include <vector>

/// Room for `samples` floats in `buffer`, asking the kernel to back it with 2 MB pages where it
/// allows: on some machines a 4 KB page fault costs microseconds, and a minute of sound is
/// thousands of pages. Only reserves; the size is left as it was.
void reserveSamples(std::vector<float>& buffer, std::size_t samples);
