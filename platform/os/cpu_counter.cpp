#include "platform/os/cpu_counter.h"

#include <cerrno>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"

namespace ospreon::os {

namespace {

struct Sample
{
    std::uint64_t busy = 0;
    std::uint64_t total = 0;
};

// The "cpu " line: user nice system idle [iowait irq softirq steal [guest guest_nice]].
// Guest time is already part of user and nice, so it is not added again.
std::optional<Sample> ParseCpuLine(std::string_view text)
{
    std::size_t start = 0;
    while (!text.substr(start).starts_with("cpu ")) {
        start = text.find('\n', start);
        if (start == std::string_view::npos)
            return std::nullopt;
        ++start;
    }
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
        end = text.size();
    const char* cursor = text.data() + start + 4;
    const char* last = text.data() + end;

    enum
    {
        User,
        Nice,
        System,
        Idle,
        IoWait,
        Irq,
        SoftIrq,
        Steal,
        Count
    };
    std::uint64_t field[Count] = {};
    int read = 0;
    while (read < Count) {
        while (cursor < last && *cursor == ' ')
            ++cursor;
        auto [next, ec] = std::from_chars(cursor, last, field[read]);
        if (ec != std::errc())
            break;
        cursor = next;
        ++read;
    }
    if (read < IoWait)
        return std::nullopt;

    Sample sample;
    sample.busy =
        field[User] + field[Nice] + field[System] + field[Irq] + field[SoftIrq] + field[Steal];
    sample.total = sample.busy + field[Idle] + field[IoWait];
    return sample;
}

} // namespace

CpuCounter::Status CpuCounter::Collect()
{
    const std::string path = (ProcRoot() / "stat").string();
    // The aggregate line comes first; the rest (per-processor lines, interrupt
    // counts) can run to many kilobytes and is not needed.
    char buffer[4096];
    const long got = ReadFileHead(AT_FDCWD, path.c_str(), buffer, sizeof buffer);
    if (got < 0)
        return Status::OpenFailed;
    const auto sample = ParseCpuLine(std::string_view(buffer, static_cast<std::size_t>(got)));
    if (!sample)
        return Status::NoCounter;

    if (m_sampled) {
        // The kernel's idle and iowait counts may step back a little between
        // samples; a window that shrank reads as no time passed.
        const auto busy = static_cast<std::int64_t>(sample->busy - m_busy);
        const auto total = static_cast<std::int64_t>(sample->total - m_total);
        m_hasWindow = total > 0;
        if (total <= 0 || busy <= 0)
            m_load = 0.0;
        else
            m_load = busy >= total ? 100.0 : static_cast<double>(busy) * 100.0 / total;
    }
    m_busy = sample->busy;
    m_total = sample->total;
    m_sampled = true;
    return Status::Ok;
}

} // namespace ospreon::os
