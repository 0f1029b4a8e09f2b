#pragma once
// IMonitorPlugin: a plug-in's registration interface, reached through its vtable
// only (no type library describes it).

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IMonitorPlugin : IDispatch
{
    static constexpr const IID& Iid = IID_IMonitorPlugin;

    virtual HRESULT get_TypeName(BSTR* pVal) = 0;
    virtual HRESULT get_InterfaceID(BSTR* pVal) = 0;
    virtual HRESULT get_ClassID(BSTR* pVal) = 0;
    // Writes / deletes the plug-in's entry under the service's plug-in key;
    // 0x80300007 no service key, 0x80300008 no interface key, 0x80300009 create or
    // delete failed.
    virtual HRESULT RegisterPlugin(BSTR serviceName) = 0;
    virtual HRESULT UnregisterPlugin(BSTR serviceName) = 0;

protected:
    ~IMonitorPlugin() = default;
};

inline constexpr HRESULT PLUGIN_E_NOSERVICEKEY = MakeHResult(0x80300007);
inline constexpr HRESULT PLUGIN_E_NOINTERFACEKEY = MakeHResult(0x80300008);
inline constexpr HRESULT PLUGIN_E_KEYFAILED = MakeHResult(0x80300009);
