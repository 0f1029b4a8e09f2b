#pragma once
// The processor-time counter: the share of time all processors were busy between
// two collections, from the "cpu " line of <proc root>/stat
// (busy = user + nice + system + irq + softirq + steal; total = busy + idle + iowait).

#include <cstdint>

namespace ospreon::os {

class CpuCounter
{
public:
    enum class Status
    {
        Ok,
        OpenFailed, // <proc root>/stat cannot be opened
        NoCounter,  // the file has no "cpu " line that can be read
    };

    // Takes a sample; the window of the next Load() starts here.
    [[nodiscard]] Status Collect();

    // The load in percent (0..100) over the window between the last two successful
    // collections; 0 before there are two, or when no time passed between them.
    double Load() const { return m_load; }

    // Whether Load() measures a real window: two successful collections with time
    // between them (the kernel counts in ticks, so calls a few milliseconds apart
    // may see none).
    bool HasWindow() const { return m_hasWindow; }

private:
    std::uint64_t m_busy = 0;
    std::uint64_t m_total = 0;
    bool m_sampled = false;
    bool m_hasWindow = false;
    double m_load = 0.0;
};

} // namespace ospreon::os
