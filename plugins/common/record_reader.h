#pragma once
// Reading and declaring record values, the only way the plug-ins touch a record.

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/user.h"
#include "platform/com/variant.h"

namespace ospreon::plugin {

// ReadParam: the record's value of `key`, or `defaultValue` when the record lacks it
// or refuses the read. nullopt (*not read*) when the record faulted; the fault is
// logged as "Get Service User Parameter Exception\n".
std::optional<com::Variant> ReadParam(IUser* user, const char* key,
                                      const std::string& defaultValue);

// A read value as text. Text of a value that does not convert (an object without a
// string form) is refused with the conversion's HRESULT.
struct ParamText
{
    bool read = false; // false: the record faulted
    std::string text;  // the value or the default, when read
    HRESULT hr = S_OK; // failure: the value has no text form
};
ParamText ReadText(IUser* user, const char* key, const std::string& defaultValue);

// The texts of `keys`, in order, each the empty text where the record lacks it, for
// a check that needs them all: `read` false when the record faulted on one (the
// fault is logged), `hr` the failure of a value without a text form.
struct ParamTexts
{
    bool read = true;
    HRESULT hr = S_OK;
    std::vector<std::string> texts;
};
ParamTexts ReadTexts(IUser* user, std::initializer_list<const char*> keys);

// DeclareParam: InfoName put (index 8) unless `putOnly`, then InfoVal put of the
// default. Results are ignored, as a declaration is best effort.
void DeclareParam(IUser* user, const char* key, const char* defaultValue, bool putOnly);

// Whether the record answers a read of `key` (a fault or refusal: no).
bool HasParam(IUser* user, const char* key);

// Leading-number reading of a stored number: leading blanks and a sign, digits up
// to the first other character; text without a leading number reads as 0.
long long LeadingNumber(const std::string& text);

} // namespace ospreon::plugin
