#pragma once
// The plug-in object: IServiceMonitor (default, dual) and IMonitorPlugin (vtable
// only) for one monitor type. Init, ExcuteCommand, Notify and NotifySucc are the
// same for every type; Monitor runs the type's Check.

#include <memory>
#include <mutex>
#include <string>

#include "interfaces/monitor_plugin.h"
#include "interfaces/service_monitor.h"
#include "interfaces/type_info.h"
#include "platform/com/dispatch_impl.h"
#include "platform/com/module_lock.h"
#include "plugins/common/class_factory.h"
#include "plugins/common/plugin_type.h"

namespace ospreon::plugin {

// Made with com::MakeObject where exceptions are caught: its strings and the type's
// check are built in the constructor. It counts in the module's lock count.
class ServiceMonitor final
    : public com::ModuleObject<g_moduleLock,
                               com::DispatchImpl<IServiceMonitor, kIServiceMonitorDesc>,
                               com::VtableDispatch<IMonitorPlugin>>
{
public:
    explicit ServiceMonitor(const PluginType& type);

    // IServiceMonitor
    HRESULT get_Server(BSTR* pVal) override;
    HRESULT put_Server(BSTR newVal) override;
    HRESULT Monitor(IUser* pUser) override;
    HRESULT ExcuteCommand(IUser* pUser) override;
    HRESULT Notify(IUser* pUser) override;
    HRESULT Init(IUser* pUser) override;
    HRESULT NotifySucc(IUser* pUser) override;

    // IMonitorPlugin
    HRESULT get_TypeName(BSTR* pVal) override;
    HRESULT get_InterfaceID(BSTR* pVal) override;
    HRESULT get_ClassID(BSTR* pVal) override;
    HRESULT RegisterPlugin(BSTR serviceName) override;
    HRESULT UnregisterPlugin(BSTR serviceName) override;

private:
    ~ServiceMonitor() override;

    // Runs the record's command under `key`; the shared body of ExcuteCommand and
    // NotifySucc.
    HRESULT RunCommand(IUser* user, const char* key, const char* what);
    void Trace(const char* method, IUser* user);
    // The log path of this object's last Init (empty before it), for the
    // ObjectLogScope of each call.
    std::string ObjectLogFile();

    const PluginType& m_type;
    const std::string m_interfaceId; // "{584A0822-C255-11D3-9CCC-00A0246E266E}"
    const std::string m_typeName;
    const std::string m_classId;
    bool m_declared = false;
    std::unique_ptr<Check> m_check;
    std::mutex m_logMutex;
    std::string m_logFile;
};

} // namespace ospreon::plugin
