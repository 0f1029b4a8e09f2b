#include "interfaces/type_info.h"

#include "interfaces/service_monitor.h"
#include "interfaces/user.h"
#include "platform/com/dispatch_thunk.h"

namespace ospreon {

namespace {

using com::DispatchThunk;
using com::MemberDesc;
using com::MemberKind;

constexpr MemberDesc kUserMembers[] = {
    {"UserName", 1, MemberKind::PropertyGet, "property UserName",
     &DispatchThunk<&IUser::get_UserName>},
    {"UserName", 1, MemberKind::PropertyPut, "property UserName",
     &DispatchThunk<&IUser::put_UserName>},
    {"ServiceType", 2, MemberKind::PropertyGet, "property ServiceType",
     &DispatchThunk<&IUser::get_ServiceType>},
    {"InfoNumber", 3, MemberKind::PropertyGet, "property InfoNumber",
     &DispatchThunk<&IUser::get_InfoNumber>},
    {"InfoNumber", 3, MemberKind::PropertyPut, "property InfoNumber",
     &DispatchThunk<&IUser::put_InfoNumber>},
    {"InfoName", 4, MemberKind::PropertyGet, "property InfoName",
     &DispatchThunk<&IUser::get_InfoName>},
    {"InfoName", 4, MemberKind::PropertyPut, "property InfoName",
     &DispatchThunk<&IUser::put_InfoName>},
    {"UserInfo", 5, MemberKind::PropertyGet, "property UserInfo",
     &DispatchThunk<&IUser::get_UserInfo>},
    {"UserInfo", 5, MemberKind::PropertyPut, "property UserInfo",
     &DispatchThunk<&IUser::put_UserInfo>},
    {"InfoVal", 6, MemberKind::PropertyGet, "property InfoVal",
     &DispatchThunk<&IUser::get_InfoVal>},
    {"InfoVal", 6, MemberKind::PropertyPut, "property InfoVal",
     &DispatchThunk<&IUser::put_InfoVal>},
    {"UserFunc", 7, MemberKind::PropertyGet, "property UserFunc",
     &DispatchThunk<&IUser::get_UserFunc>},
    {"UserFunc", 7, MemberKind::PropertyPut, "property UserFunc",
     &DispatchThunk<&IUser::put_UserFunc>},
};

constexpr MemberDesc kServiceMonitorMembers[] = {
    {"Server", 1, MemberKind::PropertyGet, "property Server",
     &DispatchThunk<&IServiceMonitor::get_Server>},
    {"Server", 1, MemberKind::PropertyPut, "property Server",
     &DispatchThunk<&IServiceMonitor::put_Server>},
    {"Monitor", 2, MemberKind::Method, "method Monitor", &DispatchThunk<&IServiceMonitor::Monitor>},
    {"ExcuteCommand", 3, MemberKind::Method, "method ExcuteCommand",
     &DispatchThunk<&IServiceMonitor::ExcuteCommand>},
    {"Notify", 4, MemberKind::Method, "method Notify", &DispatchThunk<&IServiceMonitor::Notify>},
    {"Init", 5, MemberKind::Method, "method Init", &DispatchThunk<&IServiceMonitor::Init>},
    {"NotifySucc", 6, MemberKind::Method, "method NotifySucc",
     &DispatchThunk<&IServiceMonitor::NotifySucc>},
};

} // namespace

const com::InterfaceDesc kIUserDesc{"IUser", IID_IUser, "IUser Interface", kUserMembers};
const com::InterfaceDesc kIServiceMonitorDesc{"IServiceMonitor", IID_IServiceMonitor,
                                              "IServiceMonitor Interface", kServiceMonitorMembers};

} // namespace ospreon
