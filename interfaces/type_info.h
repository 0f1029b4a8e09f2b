#pragma once
// Type descriptors of the dual monitor interfaces, shared by every type library that
// describes them and by the IDispatch of every object that implements them.

#include "platform/com/type_descriptor.h"

namespace ospreon {

extern const com::InterfaceDesc kIUserDesc;           // "IUser Interface"
extern const com::InterfaceDesc kIServiceMonitorDesc; // "IServiceMonitor Interface"

} // namespace ospreon
