#include "tests/plugins/checks/check_support.h"

#include <fstream>
#include <iterator>
#include <memory>

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "plugins/common/plugin_log.h"

namespace ospreon::test {

namespace {

using DllRegisterServerFn = HRESULT (*)();

struct ModuleCloser
{
    void operator()(void* module) const { ::dlclose(module); }
};
using ModuleHandle = std::unique_ptr<void, ModuleCloser>;

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
    HRESULT hr() const { return m_hr; }

private:
    HRESULT m_hr;
};

std::vector<std::string> WithLogRead(std::vector<std::string> calls)
{
    calls.insert(calls.begin(), "get_InfoVal(Monitor_LogFile)");
    return calls;
}

} // namespace

std::vector<std::string> ReadLogLines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start) + "<no line end>");
    return lines;
}

std::vector<std::string> LinesOf(const std::vector<std::string>& messages)
{
    const std::string prefix =
        "T" + std::to_string(static_cast<long>(::syscall(SYS_gettid))) + " 10:11:12   ";
    std::vector<std::string> lines;
    for (const std::string& message : messages)
        lines.push_back(prefix + message);
    return lines;
}

void CheckTest::SetUp()
{
    plugin::SetLogFile(logFile.string());
}

bool CheckTest::Read(const std::string& key) const
{
    const std::string call = "get_InfoVal(" + key + ")";
    for (const std::string& made : user->Calls()) {
        if (made == call)
            return true;
    }
    return false;
}

void ExpectRegisteredModuleDeclaresOnce(const ModuleCase& module)
{
    TempHome home;
    ScopedEnv now("OSPREON_TEST_NOW", kTestNow);
    const std::string path = (BuildDir() / "lib" / (module.typeName + ".so")).string();
    ModuleHandle handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(handle) << ::dlerror();
    auto registerServer =
        reinterpret_cast<DllRegisterServerFn>(::dlsym(handle.get(), "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);

    ComScope com;
    ASSERT_EQ(com.hr(), S_OK);
    CLSID clsid{};
    com::Bstr progId(module.typeName + ".ServiceMonitor.1");
    ASSERT_EQ(CLSIDFromProgID(progId.get(), &clsid), S_OK);
    EXPECT_EQ(com::GuidToString(clsid), com::GuidToString(module.clsid));
    com::ComPtr<IServiceMonitor> monitor;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServiceMonitor,
                               monitor.putVoid()),
              S_OK)
        << com::LastActivationError();

    auto first = FakeUser::Create(module.typeName + " of first", module.typeName);
    first->Set("Monitor_LogFile", (home.path() / "first.log").string());
    for (const auto& [key, value] : module.preset)
        first->Set(key, value);
    first->ClearCalls();
    ASSERT_EQ(monitor->Init(first.get()), S_OK);
    EXPECT_EQ(first->Calls(), WithLogRead(module.declarations));
    std::vector<std::string> keys = module.keys;
    keys.insert(keys.begin(), "Monitor_LogFile");
    EXPECT_EQ(first->Keys(), keys);

    const std::filesystem::path secondLog = home.path() / "second.log";
    auto second = FakeUser::Create(module.typeName + " of second", module.typeName);
    second->Set("Monitor_LogFile", secondLog.string());
    ASSERT_EQ(monitor->Init(second.get()), S_OK);
    EXPECT_EQ(second->Calls(), WithLogRead({})) << "a second record gets no declarations";
    EXPECT_EQ(second->Keys(), std::vector<std::string>{"Monitor_LogFile"});

    if (module.probe)
        module.probe(monitor.get(), secondLog);
}

} // namespace ospreon::test
