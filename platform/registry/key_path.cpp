#include "platform/registry/key_path.h"

#include <string>

#include "platform/wintypes/winerror.h"

namespace ospreon::registry {

Result<KeyPath> SplitKeyPath(std::string_view path)
{
    KeyPath names;
    if (path.empty())
        return names;
    if (path.front() == '\\')
        return Error::Win32(ERROR_INVALID_PARAMETER,
                            "key path \"" + std::string(path) + "\" starts with a backslash");
    if (path.back() == '\\')
        path.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find('\\', start);
        std::string_view name =
            path.substr(start, end == std::string_view::npos ? end : end - start);
        if (name.empty())
            return Error::Win32(ERROR_INVALID_PARAMETER,
                                "key path \"" + std::string(path) + "\" has an empty key name");
        names.push_back(name);
        if (end == std::string_view::npos)
            return names;
        start = end + 1;
    }
}

} // namespace ospreon::registry
