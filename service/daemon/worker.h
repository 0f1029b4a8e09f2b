#pragma once
// Worker mode: `wardenhost --worker FD`. Runs the calls the scheduler sends over
// the socket FD on a bounded pool of threads, each on the plug-in object that the
// record's UserFunc gives in this process, and answers each with its HRESULT. Ends
// as soon as the scheduler's end closes, whatever is still running.

namespace ospreon::daemon {

// Never returns normally: the process ends with _exit, so calls still running on
// other threads are simply abandoned.
[[noreturn]] void RunWorker(int fd, int threads);

} // namespace ospreon::daemon
