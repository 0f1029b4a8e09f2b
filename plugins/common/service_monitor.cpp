#include "plugins/common/service_monitor.h"

#include <exception>
#include <new>
#include <optional>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/guard.h"
#include "platform/com/out_param.h"
#include "platform/os/paths.h"
#include "plugins/common/alertlib_table.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"
#include "plugins/common/registrar.h"

namespace ospreon::plugin {

using com::Guarded;

namespace {

// The pager number used when a record names none.
constexpr char kDefaultPager[] = "12345678";
// Commands of this many characters or fewer ("Def", the default) mean "no command".
constexpr std::size_t kNoCommandLength = 4;

// Characters of UTF-8 text: every byte but the continuation bytes 10xxxxxx starts one.
std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// A value for the log: "(null)" for one that was not read, never a null %s.
const char* ForLog(const std::optional<std::string>& value)
{
    return value ? value->c_str() : "(null)";
}

// The same value for Alertlib: a null string when not read.
const char* ForCall(const std::optional<std::string>& value)
{
    return value ? value->c_str() : nullptr;
}

} // namespace

ServiceMonitor::ServiceMonitor(const PluginType& type)
    : m_type(type), m_interfaceId(kServiceMonitorIid), m_typeName(type.typeName),
      m_classId(com::GuidToString(type.clsid)), m_check(type.makeCheck ? type.makeCheck() : nullptr)
{}

ServiceMonitor::~ServiceMonitor() = default;

HRESULT ServiceMonitor::get_Server(BSTR*)
{
    return Guarded([&] {
        Trace("get_Server", nullptr);
        return S_OK; // reserved: the out value stays as the caller passed it
    });
}

HRESULT ServiceMonitor::put_Server(BSTR)
{
    return Guarded([&] {
        Trace("put_Server", nullptr);
        return S_OK;
    });
}

void ServiceMonitor::Trace(const char* method, IUser* user)
{
    if (!m_type.traceCall)
        return;
    try {
        m_type.traceCall(method, user);
    } catch (...) {
    }
}

HRESULT ServiceMonitor::Monitor(IUser* pUser)
{
    Trace("Monitor", pUser);
    return Guarded([&] {
        if (!m_check)
            return E_FAIL;
        // A fault in the check is logged with its type; the guard keeps a fault of
        // the log itself from escaping.
        try {
            return m_check->Monitor(pUser);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            WriteLog("%s Monitor Exception: %s\n", m_typeName.c_str(), error.what());
        } catch (...) {
            WriteLog("%s Monitor Exception: unknown\n", m_typeName.c_str());
        }
        return E_FAIL;
    });
}

HRESULT ServiceMonitor::Init(IUser* pUser)
{
    Trace("Init", pUser);
    return Guarded([&] {
        const std::string defaultLog = (os::HomeFolder("log") / m_type.defaultLogFile).string();
        ParamText logFile = ReadText(pUser, "Monitor_LogFile", defaultLog);
        if (logFile.read && SUCCEEDED(logFile.hr))
            SetLogFile(logFile.text);
        if (!m_declared) {
            for (const Declaration& declaration : m_type.declarations) {
                if (declaration.whenMissing && HasParam(pUser, declaration.key))
                    continue;
                DeclareParam(pUser, declaration.key, declaration.defaultValue, declaration.putOnly);
            }
            m_declared = true;
        }
        return logFile.read ? logFile.hr : S_OK;
    });
}

HRESULT ServiceMonitor::RunCommand(IUser* user, const char* key, const char* what)
{
    ParamText command = ReadText(user, key, "Def");
    if (!command.read)
        return S_OK;
    if (FAILED(command.hr))
        return command.hr;
    if (CharacterCount(command.text) <= kNoCommandLength)
        return S_OK;
    const bool ran = Alertlib().execCmd(command.text.c_str()) > 0;
    WriteLog("%s Monitor Excute %s [%s] %s\n", m_typeName.c_str(), what, command.text.c_str(),
             ran ? "Successful" : "Fail");
    return S_OK;
}

HRESULT ServiceMonitor::ExcuteCommand(IUser* pUser)
{
    Trace("ExcuteCommand", pUser);
    return Guarded([&] { return RunCommand(pUser, "Monitor_Command", "Command"); });
}

HRESULT ServiceMonitor::NotifySucc(IUser* pUser)
{
    Trace("NotifySucc", pUser);
    return Guarded([&] {
        WriteLog("Work Begin Normal\n");
        return RunCommand(pUser, "Monitor_Command_Succ", "Succ Command");
    });
}

HRESULT ServiceMonitor::Notify(IUser* pUser)
{
    Trace("Notify", pUser);
    return Guarded([&] {
        HRESULT conversion = S_OK;
        auto read = [&](const char* key, const char* defaultValue) -> std::optional<std::string> {
            ParamText value = ReadText(pUser, key, defaultValue);
            if (!value.read)
                return std::nullopt;
            if (FAILED(value.hr) && SUCCEEDED(conversion))
                conversion = value.hr;
            return value.text;
        };
        const std::optional<std::string> message = read("Monitor_Notify Msg", "Def Msg");
        const std::optional<std::string> pager = read("Monitor_Notify Pager", kDefaultPager);
        const std::optional<std::string> mode = read("Monitor_Notify Mode", "http://Pager%s,%s");
        const std::optional<std::string> voice = read("Monitor_Voice", "");
        if (FAILED(conversion))
            return conversion;

        const AlertlibTable& alertlib = Alertlib();
        if (voice && !voice->empty())
            (void)alertlib.alert(voice->c_str());
        const int sent = alertlib.sendNotify(ForCall(mode), ForCall(pager), ForCall(message));
        if (sent & 0xFF) {
            WriteLog("Send Notify Successful:[Mode:%s] To%s Msg:%s", ForLog(mode), ForLog(pager),
                     ForLog(message));
            return S_OK;
        }
        WriteLog("Send Notify Fail:[Mode:%s] To%s Msg:%s", ForLog(mode), ForLog(pager),
                 ForLog(message));
        const char* reason = alertlib.lastError ? alertlib.lastError() : nullptr;
        WriteLog("Send Notify Reason: %s\n", reason && *reason ? reason : "unknown");
        return E_FAIL;
    });
}

HRESULT ServiceMonitor::get_TypeName(BSTR* pVal)
{
    return Guarded([&] { return com::CopyOut(m_typeName, pVal); });
}

HRESULT ServiceMonitor::get_InterfaceID(BSTR* pVal)
{
    return Guarded([&] { return com::CopyOut(m_interfaceId, pVal); });
}

HRESULT ServiceMonitor::get_ClassID(BSTR* pVal)
{
    return Guarded([&] { return com::CopyOut(m_classId, pVal); });
}

HRESULT ServiceMonitor::RegisterPlugin(BSTR serviceName)
{
    return Guarded([&] { return RegisterServicePlugin(m_type, com::BstrToUtf8(serviceName)); });
}

HRESULT ServiceMonitor::UnregisterPlugin(BSTR serviceName)
{
    return Guarded([&] { return UnregisterServicePlugin(m_type, com::BstrToUtf8(serviceName)); });
}

} // namespace ospreon::plugin
