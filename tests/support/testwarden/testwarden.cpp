// Testwarden: the test plug-in. Its Monitor does what the record's
// "Monitor_Parameter" says: "ok" S_OK, "fail" E_FAIL, "hang:N" sleeps N ms then
// S_OK, "throw" throws inside the check, "crash" dies of SIGSEGV (its default action,
// so the process ends the same way under the sanitizers), "file:PATH" gives S_OK
// while PATH exists and E_FAIL otherwise. Every call of any IServiceMonitor method
// appends "<method> <record name>\n" to the file named by the record's "Test_Trace".

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/com/bstr.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"

namespace {

using namespace ospreon::plugin;

constexpr CLSID kClsid = MakeGuid("7816BA25-2BA3-40A6-B521-E735D4A4FD16");
constexpr GUID kLibid = MakeGuid("15A5893D-EE47-4E28-A4FB-3563EC437E99");

constexpr Declaration kDeclarations[] = {
    {"DisplayName", "Scripted Result"},
    {"Monitor_Parameter", "ok", true},
    {"Monitor_Voice", ""},
};

class ScriptedCheck final : public Check
{
public:
    HRESULT Monitor(IUser* user) override
    {
        ParamText script = ReadText(user, "Monitor_Parameter", "ok");
        if (!script.read || FAILED(script.hr))
            return E_FAIL;
        const std::string& text = script.text;
        if (text == "ok")
            return S_OK;
        if (text == "throw")
            throw std::runtime_error("scripted failure inside the check");
        if (text == "crash") {
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
        }
        if (text.rfind("file:", 0) == 0) {
            struct stat info
            {};
            if (::stat(text.c_str() + 5, &info) == 0)
                return S_OK;
            WriteLog("Testwarden Monitor found no file %s\n", text.c_str() + 5);
            return E_FAIL;
        }
        if (text.rfind("hang:", 0) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(LeadingNumber(text.substr(5))));
            return S_OK;
        }
        WriteLog("Testwarden Monitor found trouble: %s\n", text.c_str());
        return E_FAIL;
    }
};

void TraceCall(const char* method, IUser* user)
{
    if (!user)
        return;
    ParamText trace = ReadText(user, "Test_Trace", "");
    if (!trace.read || trace.text.empty())
        return;
    ospreon::com::Bstr name;
    (void)user->get_UserName(name.put());
    const std::string line = std::string(method) + " " + name.utf8() + "\n";
    int fd = ::open(trace.text.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    (void)!::write(fd, line.data(), line.size());
    ::close(fd);
}

} // namespace

OSPREON_PLUGIN_RECORDS(Testwarden, TESTWARDEN, kClsid, kLibid)

namespace {

const PluginType kTestwarden{
    "Testwarden",
    kClsid,
    "Testwarden.log",
    kDeclarations,
    [] { return std::unique_ptr<Check>(new ScriptedCheck); },
    &OspreonTypeLibrary,
    &OspreonVersionInfo,
    &TraceCall,
};

} // namespace

OSPREON_PLUGIN_MODULE(kTestwarden)
