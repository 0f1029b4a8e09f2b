#include "service/ctl/config_commands.h"

#include "interfaces/guids.h"
#include "interfaces/service_control.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "service/ctl/service_access.h"

namespace ospreon::ctl {

Outcome GetConfig(Console& console, const std::string& name)
{
    Result<ComPtr<IConfigStore>> config = OpenConfig();
    if (!config)
        return config.error();
    Result<std::optional<std::string>> value = ReadConfig(config->get(), name);
    if (!value)
        return value.error();
    if (!*value)
        return Unavailable("no configuration value named " + Quoted(name));
    console.out << **value << '\n';
    return kExitDone;
}

Outcome SetConfig(Console&, const std::string& name, const std::string& value)
{
    if (name.empty())
        return BadInput("the configuration value name is empty");
    Result<ComPtr<IConfigStore>> config = OpenConfig();
    if (!config)
        return config.error();
    com::Bstr key(name);
    com::Variant text(value);
    if (HRESULT hr = (*config)->put_Value(key.get(), text.get()); FAILED(hr))
        return Unavailable("cannot set the configuration value " + Quoted(name) + ": " +
                           FailureReason(hr));
    if (HRESULT hr = (*config)->Save(); FAILED(hr))
        return Unavailable("cannot save the configuration: " + FailureReason(hr));
    return kExitDone;
}

Outcome Reload(Console&)
{
    Result<ComPtr<IConfigStore>> config = OpenConfig();
    if (!config)
        return config.error();
    Result<std::optional<std::string>> password = ReadConfig(config->get(), "ControlPass");
    if (!password)
        return password.error();
    if (!*password)
        return Unavailable("no \"ControlPass\" is configured (run `wardenctl setup`)");
    config->reset();

    Result<ComPtr<IServiceControl>> control =
        Create<IServiceControl>(CLSID_ServiceControl, "the service control");
    if (!control)
        return control.error();
    com::Bstr pass(**password);
    if (HRESULT hr = (*control)->Reload(pass.get()); FAILED(hr))
        return Unavailable("the service refused to reload: " + FailureReason(hr));
    return kExitDone;
}

} // namespace ospreon::ctl
