#include "tests/plugins/common/run_cycle_fixture.h"

#include <memory>

namespace ospreon::test {

namespace {

constexpr plugin::Declaration kDeclarations[] = {
    {"DisplayName", "Probe Target"},
    {"Monitor_Parameter", "7", true},
    {"Monitor_Voice", ""},
};

class ProbeCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser*) override { throw std::runtime_error("probe exploded"); }
};

HKEY NoServiceKey(const char*)
{
    return nullptr;
}

int RecordAlert(const char* file)
{
    Recorder().calls.push_back(std::string("Alert(") + (file ? file : "null") + ")");
    return 1;
}

int RecordSend(const char* mode, const char* recipients, const char* message)
{
    auto text = [](const char* value) { return value ? std::string(value) : std::string("null"); };
    Recorder().calls.push_back("SendNotify(" + text(mode) + "," + text(recipients) + "," +
                               text(message) + ")");
    return Recorder().sendResult;
}

int RecordExec(const char* command)
{
    Recorder().calls.push_back(std::string("ExecCmd(") + (command ? command : "null") + ")");
    return Recorder().execResult;
}

const char* RecordedError()
{
    return Recorder().lastError.c_str();
}

constexpr plugin::AlertlibTable kRecorderTable{&NoServiceKey, &RecordAlert, &RecordSend,
                                               &RecordExec, &RecordedError};

} // namespace

AlertlibRecorder& Recorder()
{
    static AlertlibRecorder recorder;
    return recorder;
}

const plugin::PluginType& ProbeType()
{
    static const plugin::PluginType type{
        "Probewarden",
        MakeGuid("0D1E2F30-4151-6273-8495-A6B7C8D9EAFB"),
        "Probewarden.log",
        kDeclarations,
        [] { return std::unique_ptr<plugin::Check>(new ProbeCheck); },
        nullptr,
        nullptr};
    return type;
}

void RunCycle::SetUp()
{
    Recorder() = AlertlibRecorder{};
    plugin::SetAlertlibForTesting(&kRecorderTable);
    plugin::SetLogFile(LogPath());
    monitor = com::MakeObject<plugin::ServiceMonitor>(ProbeType());
    user = FakeUser::Create("Probewarden of probe", "Probewarden");
    user->Set("Monitor_LogFile", LogPath());
}

void RunCycle::TearDown()
{
    monitor.reset();
    EXPECT_EQ(user->RefCount(), 1u) << "the plug-in keeps no reference to the record";
    plugin::SetAlertlibForTesting(nullptr);
}

std::vector<std::string> RunCycle::LogLines() const
{
    std::ifstream file(LogPath(), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const std::string text = content.str();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in \\r\\n";
    return lines;
}

std::vector<std::string> RunCycle::LogMessages() const
{
    std::vector<std::string> messages;
    for (const std::string& line : LogLines()) {
        std::size_t gap = line.find("   ");
        messages.push_back(gap == std::string::npos ? line : line.substr(gap + 3));
    }
    return messages;
}

} // namespace ospreon::test
