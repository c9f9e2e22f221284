#pragma once
// Names of enumeration values by type, so that published properties of an
// enumeration type (declared at namespace scope, outside Qt's meta-object
// system) can be read and written by name, as the stored description does.
#include <QMetaType>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class TEnumNames {
public:
    // Names in value order starting at 0, under the type's meta-type name.
    static void Register(const char* metaTypeName, std::vector<std::string> names);
    template <typename E> static void Register(std::vector<std::string> names)
    {
        Register(QMetaType::fromType<E>().name(), std::move(names));
    }
    static bool IsKnown(const char* metaTypeName);
    static std::optional<int> ValueOf(const char* metaTypeName, const std::string& name);
    static std::string NameOf(const char* metaTypeName, int value);
};

} // namespace qv
