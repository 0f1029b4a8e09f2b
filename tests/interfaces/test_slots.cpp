// Every operation of the monitor interfaces sits at the vtable slot its callers in
// other modules compile against (slots count from 0; 0-6 are IUnknown and IDispatch).

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "interfaces/config_store.h"
#include "interfaces/monitor_plugin.h"
#include "interfaces/plugin_catalog.h"
#include "interfaces/plugin_info.h"
#include "interfaces/plugin_list.h"
#include "interfaces/service_control.h"
#include "interfaces/service_monitor.h"
#include "interfaces/user.h"
#include "interfaces/user_file.h"
#include "interfaces/user_ref.h"
#include "interfaces/user_store.h"

namespace {

// The Itanium C++ ABI stores a pointer to a virtual member as 1 + the byte offset
// of its entry in the vtable.
template <class Method> std::size_t SlotOf(Method method)
{
    static_assert(sizeof(Method) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &method, sizeof raw);
    EXPECT_EQ(raw[0] & 1, 1) << "not a virtual member";
    return static_cast<std::size_t>(raw[0] - 1) / sizeof(void*);
}

struct SlotCase
{
    const char* name;
    std::size_t slot;
    std::size_t expected;
};

#define SLOT(method, expected)                                                                     \
    SlotCase                                                                                       \
    {                                                                                              \
#method, SlotOf(&method), expected                                                         \
    }

TEST(InterfaceSlots, RecordAndMonitorInterfacesFollowTheirTypeLibraryOrder)
{
    const SlotCase cases[] = {
        SLOT(IDispatch::Invoke, 6),
        SLOT(IUser::get_UserName, 7),
        SLOT(IUser::put_UserName, 8),
        SLOT(IUser::get_ServiceType, 9),
        SLOT(IUser::get_InfoNumber, 10),
        SLOT(IUser::put_InfoNumber, 11),
        SLOT(IUser::get_InfoName, 12),
        SLOT(IUser::put_InfoName, 13),
        SLOT(IUser::get_UserInfo, 14),
        SLOT(IUser::put_UserInfo, 15),
        SLOT(IUser::get_InfoVal, 16),
        SLOT(IUser::put_InfoVal, 17),
        SLOT(IUser::get_UserFunc, 18),
        SLOT(IUser::put_UserFunc, 19),
        SLOT(IServiceMonitor::get_Server, 7),
        SLOT(IServiceMonitor::put_Server, 8),
        SLOT(IServiceMonitor::Monitor, 9),
        SLOT(IServiceMonitor::ExcuteCommand, 10),
        SLOT(IServiceMonitor::Notify, 11),
        SLOT(IServiceMonitor::Init, 12),
        SLOT(IServiceMonitor::NotifySucc, 13),
        SLOT(IMonitorPlugin::get_TypeName, 7),
        SLOT(IMonitorPlugin::get_InterfaceID, 8),
        SLOT(IMonitorPlugin::get_ClassID, 9),
        SLOT(IMonitorPlugin::RegisterPlugin, 10),
        SLOT(IMonitorPlugin::UnregisterPlugin, 11),
    };
    for (const SlotCase& c : cases)
        EXPECT_EQ(c.slot, c.expected) << c.name;
}

TEST(InterfaceSlots, ServiceObjectsKeepTheirNamedSlots)
{
    const SlotCase cases[] = {
        SLOT(IUserStore::Open, 7),         SLOT(IUserStore::Add, 8),
        SLOT(IUserStore::Remove, 9),       SLOT(IUserStore::get_Count, 11),
        SLOT(IUserStore::get_Item, 12),    SLOT(IUserRef::put_Name, 8),
        SLOT(IUserRef::get_Object, 16),    SLOT(IUserRef::put_Provider, 19),
        SLOT(IPluginCatalog::Plugins, 8),  SLOT(IPluginList::get_Count, 12),
        SLOT(IPluginList::get_Item, 13),   SLOT(IPluginInfo::get_Name, 7),
        SLOT(IUserFile::Import, 7),        SLOT(IUserFile::Export, 8),
        SLOT(IServiceControl::Reload, 7),  SLOT(IConfigStore::OpenSection, 8),
        SLOT(IConfigStore::Save, 15),      SLOT(IConfigStore::get_Value, 16),
        SLOT(IConfigStore::put_Value, 17),
    };
    for (const SlotCase& c : cases)
        EXPECT_EQ(c.slot, c.expected) << c.name;
}

} // namespace
