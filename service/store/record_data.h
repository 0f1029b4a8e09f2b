#pragma once
// A monitor record as plain data: what Add stores, Export reads and Import merges.

#include <cstdint>
#include <string>
#include <vector>

namespace ospreon::store {

// A record's stable identity: kept through imports that replace it, never reused.
using RecordId = std::int64_t;

struct Parameter
{
    std::string key;
    std::string value;
    bool operator==(const Parameter&) const = default;
};

struct RecordData
{
    std::string name;
    std::string type;
    std::vector<Parameter> parameters; // in order, keys unique
    bool operator==(const RecordData&) const = default;
};

// The record ids in creation order, with the records_version they were read at.
struct RecordIds
{
    std::int64_t version = -1;
    std::vector<RecordId> ids;
};

} // namespace ospreon::store
