#pragma once
// The process list from <proc root>. A process's base name is the file name of
// readlink("<proc root>/PID/exe") without a " (deleted)" suffix, else the content of
// <proc root>/PID/comm; its working set is VmRSS of <proc root>/PID/status, which
// processes without an address space do not have.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/result.h"

namespace ospreon::os {

struct ProcessInfo
{
    int pid = 0;
    std::string name;                  // executable base name
    std::uint64_t workingSetBytes = 0; // VmRSS in bytes
    // false: status has no VmRSS line, the process has no address space (a kernel
    // thread, a zombie)
    bool hasWorkingSet = false;
    bool readable = true; // false: the process exists but its details could not be read
};

// Every process; one that ends while the list is read is left out. Fails only
// when the proc root itself cannot be read.
Result<std::vector<ProcessInfo>> ListProcesses();

} // namespace ospreon::os
