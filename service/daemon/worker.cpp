#include "service/daemon/worker.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

#include "interfaces/service_errors.h"
#include "platform/base/guard.h"
#include "platform/com/activation.h"
#include "service/daemon/frame.h"
#include "service/daemon/service_records.h"

namespace ospreon::daemon {

namespace {

using Clock = std::chrono::steady_clock;

struct Job
{
    Frame frame;
    Clock::time_point received;
};

class Worker
{
public:
    explicit Worker(int fd) : m_fd(fd) {}

    void Post(Frame frame)
    {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back({std::move(frame), Clock::now()});
        }
        m_ready.notify_one();
    }

    void Serve()
    {
        (void)CoInitialize(nullptr);
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_jobs.empty(); });
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            Frame done;
            done.kind = FrameKind::Done;
            done.ticket = job.frame.ticket;
            done.waitedMs = static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - job.received)
                    .count());
            done.value = Run(job.frame);
            if (!SendFrame(m_fd, done))
                ::_exit(0); // the scheduler is gone
        }
    }

private:
    HRESULT Run(const Frame& frame)
    {
        return CatchAll(
            [&] {
                ComPtr<IUser> record = Record(frame.name, false);
                HRESULT hr = record ? Call(record.get(), frame.kind) : WARDEN_E_NORECORD;
                if (hr == WARDEN_E_RECORDGONE) {
                    record = Record(frame.name, true);
                    hr = record ? Call(record.get(), frame.kind) : WARDEN_E_NORECORD;
                }
                return hr;
            },
            [](const char*) { return E_UNEXPECTED; });
    }

    static HRESULT Call(IUser* record, FrameKind kind)
    {
        ComPtr<IServiceMonitor> object;
        if (HRESULT hr = ServingObject(record, object); FAILED(hr))
            return hr;
        switch (kind) {
        case FrameKind::Check:
            return object->Monitor(record);
        case FrameKind::Command:
            return object->ExcuteCommand(record);
        case FrameKind::CommandAndNotify:
            (void)object->ExcuteCommand(record);
            return object->Notify(record);
        case FrameKind::Recovery:
            return object->NotifySucc(record);
        case FrameKind::Done:
            break;
        }
        return E_INVALIDARG;
    }

    // The live record `name`, opened once and kept; `reopen` after it was removed
    // (a record of the same name may have been added since).
    ComPtr<IUser> Record(const std::string& name, bool reopen)
    {
        std::lock_guard lock(m_recordsMutex);
        if (!m_store) {
            Result<ComPtr<IUserStore>> store = OpenUserStore();
            if (!store)
                return nullptr;
            m_store = std::move(*store);
        }
        ComPtr<IUser>& record = m_records[name];
        if (!record || reopen) {
            Result<ComPtr<IUser>> opened = OpenRecord(m_store.get(), name);
            record = opened ? std::move(*opened) : nullptr;
        }
        return record;
    }

    const int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Job> m_jobs;
    std::mutex m_recordsMutex;
    ComPtr<IUserStore> m_store;
    std::map<std::string, ComPtr<IUser>> m_records;
};

} // namespace

void RunWorker(int fd, int threads)
{
    // Owned for the life of the process, which ends with _exit.
    auto* worker = new Worker(fd);
    (void)CoInitialize(nullptr);
    for (int i = 0; i < threads; ++i)
        std::thread([worker] { worker->Serve(); }).detach();
    for (;;) {
        Result<std::optional<Frame>> frame = ReceiveFrame(fd, true);
        if (!frame)
            ::_exit(0); // the scheduler closed its end, or is gone
        if (*frame)
            worker->Post(std::move(**frame));
    }
}

} // namespace ospreon::daemon
