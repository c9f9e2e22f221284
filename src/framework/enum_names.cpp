#include "framework/enum_names.h"

#include <map>
#include <mutex>

namespace qv {

namespace {
std::mutex gLock;
std::map<std::string, std::vector<std::string>>& Table()
{
    static std::map<std::string, std::vector<std::string>> table;
    return table;
}
} // namespace

void TEnumNames::Register(const char* metaTypeName, std::vector<std::string> names)
{
    std::lock_guard<std::mutex> lock(gLock);
    Table()[metaTypeName] = std::move(names);
}

bool TEnumNames::IsKnown(const char* metaTypeName)
{
    std::lock_guard<std::mutex> lock(gLock);
    return Table().count(metaTypeName) != 0;
}

std::optional<int> TEnumNames::ValueOf(const char* metaTypeName, const std::string& name)
{
    std::lock_guard<std::mutex> lock(gLock);
    auto it = Table().find(metaTypeName);
    if (it == Table().end())
        return std::nullopt;
    for (size_t i = 0; i < it->second.size(); ++i)
        if (it->second[i] == name)
            return static_cast<int>(i);
    return std::nullopt;
}

std::string TEnumNames::NameOf(const char* metaTypeName, int value)
{
    std::lock_guard<std::mutex> lock(gLock);
    auto it = Table().find(metaTypeName);
    if (it == Table().end() || value < 0 || static_cast<size_t>(value) >= it->second.size())
        return std::to_string(value);
    return it->second[static_cast<size_t>(value)];
}

} // namespace qv
