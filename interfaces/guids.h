#pragma once
// Identifiers of the monitor interfaces, the service classes and the plug-in key.

#include "platform/com/guid.h"

// Monitor record and plug-in interfaces.
inline constexpr IID IID_IUser = MakeGuid("24ADEE09-682A-11D3-9CA3-00A0246E266E");
inline constexpr IID IID_IServiceMonitor = MakeGuid("584A0822-C255-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IMonitorPlugin = MakeGuid("584A0820-C255-11D3-9CCC-00A0246E266E");

// Monitor service objects.
inline constexpr IID IID_IUserStore = MakeGuid("722FC7DE-64E6-11D3-9CA3-00A0246E266E");
inline constexpr CLSID CLSID_UserStore = MakeGuid("1B2D0388-C28B-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IUserRef = MakeGuid("3AEC1CC2-6981-11D3-9CA3-00A0246E266E");
inline constexpr CLSID CLSID_UserRef = MakeGuid("3AEC1CC3-6981-11D3-9CA3-00A0246E266E");
inline constexpr IID IID_IPluginCatalog = MakeGuid("722FC7CE-64E6-11D3-9CA3-00A0246E266E");
inline constexpr CLSID CLSID_PluginCatalog = MakeGuid("1B2D038B-C28B-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IPluginList = MakeGuid("1B2D03AA-C28B-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IPluginInfo = MakeGuid("4906733C-C348-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IUserFile = MakeGuid("24ADEE03-682A-11D3-9CA3-00A0246E266E");
inline constexpr CLSID CLSID_UserFile = MakeGuid("1B2D0387-C28B-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IServiceControl = MakeGuid("63D3A063-90C9-11D3-9CB0-00A0246E266E");
inline constexpr CLSID CLSID_ServiceControl = MakeGuid("1B2D0389-C28B-11D3-9CCC-00A0246E266E");
inline constexpr IID IID_IConfigStore = MakeGuid("89D819C3-CE69-11D3-9CD0-00A0246E266E");
inline constexpr CLSID CLSID_ConfigStore = MakeGuid("89D819C4-CE69-11D3-9CD0-00A0246E266E");

// The text an IUserRef's Provider is set to, and the list IID that
// IPluginCatalog::Plugins is asked for.
inline constexpr char kUserProvider[] = "{1B2D038B-C28B-11D3-9CCC-00A0246E266E}";
inline constexpr char kPluginListIid[] = "{1B2D03AA-C28B-11D3-9CCC-00A0246E266E}";

// The monitor interface's text form, which also names the plug-in registry keys.
inline constexpr char kServiceMonitorIid[] = "{584A0822-C255-11D3-9CCC-00A0246E266E}";

// The mail server checks' plug-in classes and type libraries.
inline constexpr CLSID CLSID_Relaywarden = MakeGuid("7A4C9F03-1E6B-4D28-A5C7-3F80B2D64431");
inline constexpr GUID LIBID_Relaywarden = MakeGuid("7A4C9F03-1E6B-4D28-A5C7-3F80B2D64432");
inline constexpr CLSID CLSID_Mailboxwarden = MakeGuid("9D2B7E61-5A3F-4C84-B96E-0E4F7A1C8841");
inline constexpr GUID LIBID_Mailboxwarden = MakeGuid("9D2B7E61-5A3F-4C84-B96E-0E4F7A1C8842");
