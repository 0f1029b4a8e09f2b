#include "plugins/loadwarden/loadwarden_check.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#include "platform/os/sound.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"

namespace ospreon::loadwarden {

namespace {

using plugin::WriteLog;

// The counter's sample as a status, a C++ exception inside it reported as Failed
// after its line and a beep (the exception stops nothing else).
enum class Sample
{
    Ok,
    OpenFailed,
    NoCounter,
    Faulted
};

Sample Collect(os::CpuCounter& counter, const char* faultLine)
{
    try {
        switch (counter.Collect()) {
        case os::CpuCounter::Status::Ok:
            return Sample::Ok;
        case os::CpuCounter::Status::OpenFailed:
            return Sample::OpenFailed;
        case os::CpuCounter::Status::NoCounter:
            return Sample::NoCounter;
        }
        return Sample::NoCounter;
    } catch (...) {
        WriteLog("%s", faultLine);
        os::Beep();
        return Sample::Faulted;
    }
}

} // namespace

LoadwardenCheck::LoadwardenCheck()
{
    // The stat file stands for the query, its "cpu " line for the counter: a file
    // that cannot be opened is a query that cannot be opened, a missing line a
    // counter that does not exist.
    switch (Collect(m_counter, "Exception in PdhOpenQuery. (Handled)")) {
    case Sample::Ok:
        m_ready = true; // this sample starts the first window
        break;
    case Sample::OpenFailed:
        WriteLog("Could not open PDH query.");
        break;
    case Sample::NoCounter:
        WriteLog("PDH_CSTATUS_NO_COUNTER");
        WriteLog("Failed to PdhAddCounter.");
        break;
    case Sample::Faulted:
        break;
    }
}

HRESULT LoadwardenCheck::Monitor(IUser* user)
{
    // The set-up lines were written at creation.
    if (!m_ready)
        return E_FAIL;

    // The kernel counts processor time in ticks of 10 ms, so a window shorter than a
    // tick (a check right after creation) holds no time: wait for the next tick once
    // rather than report nothing.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        switch (Collect(m_counter, "Exception in PdhCollectQueryData. (Aborting)")) {
        case Sample::Ok:
            break;
        case Sample::OpenFailed:
        case Sample::NoCounter:
            WriteLog("Error in PdhCollectQueryData.");
            return E_FAIL;
        case Sample::Faulted:
            return E_FAIL;
        }
        if (m_counter.HasWindow())
            break;
    }
    if (!m_counter.HasWindow()) {
        WriteLog("Failure in PdhGetFormattedCounterValue.");
        return E_FAIL;
    }
    // Whole percent, rounded down as a long-format counter value is: a load of
    // 49.9 stays below a threshold of 50.
    const long load = static_cast<long>(std::floor(m_counter.Load()));

    const plugin::ParamText threshold = plugin::ReadText(user, "Monitor_Parameter", "9999");
    if (!threshold.read) {
        WriteLog("Get Parameter Monitor_Parameter failure\n");
        return E_FAIL;
    }
    if (FAILED(threshold.hr))
        return threshold.hr;
    if (load < plugin::LeadingNumber(threshold.text))
        return S_OK;
    WriteLog("CPU Usage is %d percent, greater than Threshold %s percent\n", static_cast<int>(load),
             threshold.text.c_str());
    return E_FAIL;
}

} // namespace ospreon::loadwarden
