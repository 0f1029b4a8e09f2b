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

// The bundled monitor types: their plug-in classes and type libraries.
inline constexpr CLSID CLSID_RamwardenMonitor = MakeGuid("F63F544A-5F2F-4756-86A2-263709242D54");
inline constexpr GUID LIBID_RamwardenLib = MakeGuid("728AD9F4-1487-426B-8DAB-E39BCF22D96E");
inline constexpr CLSID CLSID_LoadwardenMonitor = MakeGuid("623FFE1D-B977-4F12-A86D-CA0EB29DE808");
inline constexpr GUID LIBID_LoadwardenLib = MakeGuid("45D87462-8A22-4D42-ACB2-0038A69F6E2A");
inline constexpr CLSID CLSID_DaemonwardenMonitor = MakeGuid("C95A6CFD-816E-4AB7-ABA4-96DA2D7FDED0");
inline constexpr GUID LIBID_DaemonwardenLib = MakeGuid("51B4AA9C-A403-4CD2-AD2D-F52673975953");
inline constexpr CLSID CLSID_PagewardenMonitor = MakeGuid("3C1F6E52-8D0B-4F3A-9B7E-2A51D6C0E811");
inline constexpr GUID LIBID_PagewardenLib = MakeGuid("3C1F6E52-8D0B-4F3A-9B7E-2A51D6C0E812");
inline constexpr CLSID CLSID_VolumewardenMonitor = MakeGuid("5B8E2D17-44C9-4A6F-8F1D-7C3A9E05B221");
inline constexpr GUID LIBID_VolumewardenLib = MakeGuid("5B8E2D17-44C9-4A6F-8F1D-7C3A9E05B222");
inline constexpr CLSID CLSID_RelaywardenMonitor = MakeGuid("7A4C9F03-1E6B-4D28-A5C7-3F80B2D64431");
inline constexpr GUID LIBID_RelaywardenLib = MakeGuid("7A4C9F03-1E6B-4D28-A5C7-3F80B2D64432");
inline constexpr CLSID CLSID_MailboxwardenMonitor =
    MakeGuid("9D2B7E61-5A3F-4C84-B96E-0E4F7A1C8841");
inline constexpr GUID LIBID_MailboxwardenLib = MakeGuid("9D2B7E61-5A3F-4C84-B96E-0E4F7A1C8842");
