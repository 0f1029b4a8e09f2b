#include <cstdio>
#include <string>

#include "platform/com/activation.h"

namespace ospreon::com {

namespace {

const char* KnownText(HRESULT hr)
{
    switch (hr) {
    case S_OK:
        return "success";
    case S_FALSE:
        return "success (false)";
    case E_NOTIMPL:
        return "not implemented";
    case E_NOINTERFACE:
        return "interface not supported";
    case E_POINTER:
        return "invalid pointer";
    case E_ABORT:
        return "operation aborted";
    case E_FAIL:
        return "unspecified failure";
    case E_UNEXPECTED:
        return "unexpected failure";
    case E_ACCESSDENIED:
        return "access denied";
    case E_HANDLE:
        return "invalid handle";
    case E_OUTOFMEMORY:
        return "out of memory";
    case E_INVALIDARG:
        return "invalid argument";
    case CLASS_E_NOAGGREGATION:
        return "class does not support aggregation";
    case CLASS_E_CLASSNOTAVAILABLE:
        return "class not available from this module";
    case REGDB_E_READREGDB:
        return "cannot read the registry";
    case REGDB_E_WRITEREGDB:
        return "cannot write the registry";
    case REGDB_E_CLASSNOTREG:
        return "class not registered";
    case CO_E_NOTINITIALIZED:
        return "CoInitialize has not been called";
    case CO_E_CLASSSTRING:
        return "invalid class string";
    case CO_E_DLLNOTFOUND:
        return "module not found or not loadable";
    case CO_E_ERRORINDLL:
        return "module is not an in-process server";
    case TYPE_E_CANTLOADLIBRARY:
        return "cannot load the type library";
    case TYPE_E_REGISTRYACCESS:
        return "cannot access the type library registration";
    case TYPE_E_LIBNOTREGISTERED:
        return "type library not registered";
    case DISP_E_UNKNOWNINTERFACE:
        return "unknown interface";
    case DISP_E_MEMBERNOTFOUND:
        return "member not found";
    case DISP_E_PARAMNOTFOUND:
        return "parameter not found";
    case DISP_E_TYPEMISMATCH:
        return "type mismatch";
    case DISP_E_UNKNOWNNAME:
        return "unknown name";
    case DISP_E_NONAMEDARGS:
        return "named arguments not supported";
    case DISP_E_BADVARTYPE:
        return "bad variable type";
    case DISP_E_EXCEPTION:
        return "exception occurred";
    case DISP_E_OVERFLOW:
        return "out of present range";
    case DISP_E_BADINDEX:
        return "invalid index";
    case DISP_E_BADPARAMCOUNT:
        return "invalid number of parameters";
    case DISP_E_PARAMNOTOPTIONAL:
        return "parameter not optional";
    default:
        break;
    }
    if (hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE))
        return "the server is unavailable (only the local computer serves classes)";
    return nullptr;
}

} // namespace

std::string DescribeHResult(HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    const char* text = KnownText(hr);
    return text ? std::string(code) + " " + text : std::string(code);
}

} // namespace ospreon::com
