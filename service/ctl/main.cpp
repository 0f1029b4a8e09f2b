// wardenctl: the command-line front end of the monitor service.

#include <iostream>

#include "platform/com/activation.h"
#include "service/ctl/command_line.h"

namespace {

// COM for the whole run; every object of a command is released before it ends.
class ComScope
{
public:
    ComScope() : m_hr(CoInitialize(nullptr)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

} // namespace

int main(int argc, char** argv)
{
    ComScope com;
    ospreon::ctl::Console console{std::cout, std::cerr};
    if (FAILED(com.result()))
        return ospreon::ctl::Report(
            console, ospreon::ctl::Unavailable("cannot initialise COM: " +
                                               ospreon::com::DescribeHResult(com.result())));
    return ospreon::ctl::RunCommandLine(argc, argv, console);
}
