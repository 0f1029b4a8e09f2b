#pragma once
// The frame of every object of this library: com::Object's counting and
// QueryInterface for its one interface, and this library's module lock (an object
// alive keeps the library loaded). The service interfaces other than IUser are
// called through their vtables only: their IDispatch part is com::VtableDispatch.

#include "platform/com/dispatch_impl.h"
#include "platform/com/module_lock.h"

namespace ospreon::service {

using com::MakeObject;
using com::VtableDispatch;

// This library's lock count: living objects and factory locks. When it falls to
// zero the plug-in objects kept for records are released too, so their modules can
// unload and nothing outlives the last user of the service.
extern com::ModuleLock g_moduleLock;

// `Base` is the interface with its IDispatch part (VtableDispatch<IUserStore>,
// DispatchImpl<IUser, kIUserDesc>).
template <class Base> using ComObject = com::ModuleObject<g_moduleLock, Base>;

} // namespace ospreon::service
