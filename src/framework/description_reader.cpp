#include "framework/description_reader.h"

#include <QByteArray>
#include <QFile>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include "framework/color_names.h"
#include "framework/enum_names.h"
#include "framework/control.h"

namespace qv {

namespace {

bool IsIntegerType(int id)
{
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar: return true;
    default: return false;
    }
}

// A value of an integral type of Size bytes (enumerations, sets and integers),
// built in the property's own meta type so that write() takes it as it is.
QVariant IntegralVariant(QMetaType type, int64_t value)
{
    const int8_t v8 = static_cast<int8_t>(value);
    const int16_t v16 = static_cast<int16_t>(value);
    const int32_t v32 = static_cast<int32_t>(value);
    const int64_t v64 = value;
    switch (type.sizeOf()) {
    case 1: return QVariant(type, &v8);
    case 2: return QVariant(type, &v16);
    case 4: return QVariant(type, &v32);
    case 8: return QVariant(type, &v64);
    default: return QVariant();
    }
}

// Accepts a number that fits the type's bit width, signed or unsigned, so that
// colours such as $8000000F can be written into a 32-bit signed property.
bool FitsWidth(int64_t value, int bytes)
{
    if (bytes >= 8)
        return true;
    const int bits = bytes * 8;
    const int64_t lo = -(int64_t(1) << (bits - 1));
    const int64_t hi = (int64_t(1) << bits) - 1;
    return value >= lo && value <= hi;
}

bool IsUnsignedType(int id)
{
    return id == QMetaType::UInt || id == QMetaType::ULongLong || id == QMetaType::ULong ||
           id == QMetaType::UShort || id == QMetaType::UChar;
}

// A control nested in another control's block sits on it; anything else only
// belongs to the root.
void SetParentComponent(TComponent* child, TComponent* parent)
{
    auto* control = dynamic_cast<TControl*>(child);
    if (!control)
        return;
    if (auto* host = dynamic_cast<TControl*>(parent))
        control->SetParent(host);
}

struct TFixup {
    QPointer<QObject> Target;
    QMetaProperty Property;
    std::string Reference;
    std::string What; // "'Output' of TMMVolume"
    int Line = 0;
};

class TReader {
public:
    TReader(TComponent* root, const TMethodLookup& methods) : FRoot(root), FMethods(methods) {}

    void Read(const TDescriptionObject& tree)
    {
        if (tree.ClassName != FRoot->ClassName())
            Fail(tree.Line, "the description is of class '" + tree.ClassName + "', not '" + FRoot->ClassName() + "'");
        FRoot->SetName(tree.Name);
        if (QObject* o = FRoot->AsQObject())
            o->setObjectName(QString::fromStdString(tree.Name));
        FNames.insert(tree.Name);
        FAll.push_back(FRoot);
        FLines.push_back(tree.Line);
        FRoot->SetLoading(true);
        FRoot->SetReading(true);
        try {
            ApplyProperties(FRoot, tree);
            for (const TDescriptionObject& child : tree.Children)
                Create(child, FRoot);
            ResolveFixups();
            for (TComponent* c : FAll)
                c->SetReading(false);
            for (size_t i = 0; i < FAll.size(); ++i) {
                TComponent* c = FAll[i];
                try {
                    c->Loaded();
                } catch (const std::exception& e) {
                    Fail(FLines[i], "'" + c->Name() + "' failed to finish loading: " + e.what());
                }
            }
        } catch (...) {
            // Newest first: children go before the objects they sit on.
            for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it)
                delete *it;
            FRoot->SetReading(false);
            FRoot->SetLoading(false);
            throw;
        }
    }

private:
    [[noreturn]] static void Fail(int line, const std::string& problem)
    {
        throw EReadError("line " + std::to_string(line) + ": " + problem);
    }

    void Create(const TDescriptionObject& node, TComponent* parent)
    {
        if (!TComponentRegistry::IsRegistered(node.ClassName))
            Fail(node.Line, "unknown class '" + node.ClassName + "'");
        if (!FNames.insert(node.Name).second)
            Fail(node.Line, "duplicate component name '" + node.Name + "'");
        TComponent* c = nullptr;
        try {
            c = TComponentRegistry::Create(node.ClassName, FRoot);
        } catch (const std::exception& e) {
            Fail(node.Line, "cannot create " + node.ClassName + ": " + e.what());
        }
        if (!c)
            Fail(node.Line, "cannot create " + node.ClassName);
        FCreated.push_back(c);
        if (c->Owner() != FRoot)
            FRoot->InsertComponent(c);
        FAll.push_back(c);
        FLines.push_back(node.Line);
        c->SetName(node.Name);
        if (QObject* o = c->AsQObject())
            o->setObjectName(QString::fromStdString(node.Name));
        c->SetLoading(true);
        c->SetReading(true);
        try {
            SetParentComponent(c, parent);
        } catch (const std::exception& e) {
            Fail(node.Line, "cannot place '" + node.Name + "' on '" + parent->Name() + "': " + e.what());
        }
        ApplyProperties(c, node);
        for (const TDescriptionObject& child : node.Children)
            Create(child, c);
    }

    void ApplyProperties(TComponent* c, const TDescriptionObject& node)
    {
        for (const TDescriptionProperty& p : node.Properties)
            ApplyProperty(c, p);
    }

    void ApplyProperty(TComponent* c, const TDescriptionProperty& p)
    {
        const std::string cls = c->ClassName();
        QObject* obj = c->AsQObject();
        std::vector<std::string> path;
        for (size_t b = 0;;) {
            const size_t dot = p.Name.find('.', b);
            path.push_back(p.Name.substr(b, dot == std::string::npos ? std::string::npos : dot - b));
            if (dot == std::string::npos)
                break;
            b = dot + 1;
        }
        const bool looksLikeEvent = path.size() == 1 && p.Name.size() > 2 && p.Name.compare(0, 2, "On") == 0;
        if (looksLikeEvent && (!obj || obj->metaObject()->indexOfProperty(p.Name.c_str()) < 0)) {
            AssignEvent(c, p);
            return;
        }
        if (!obj)
            Fail(p.Line, "unknown property '" + p.Name + "' of " + cls);
        for (size_t i = 0; i + 1 < path.size(); ++i) {
            const int idx = obj->metaObject()->indexOfProperty(path[i].c_str());
            if (idx < 0)
                Fail(p.Line, "unknown property '" + p.Name + "' of " + cls);
            const QMetaProperty mp = obj->metaObject()->property(idx);
            if (!(mp.metaType().flags() & QMetaType::PointerToQObject))
                Fail(p.Line, "property '" + path[i] + "' of " + cls + " has no sub-properties");
            QObject* inner = mp.read(obj).value<QObject*>();
            if (!inner)
                Fail(p.Line, "property '" + path[i] + "' of " + cls + " holds no object");
            obj = inner;
        }
        const int idx = obj->metaObject()->indexOfProperty(path.back().c_str());
        if (idx < 0)
            Fail(p.Line, "unknown property '" + p.Name + "' of " + cls);
        const QMetaProperty mp = obj->metaObject()->property(idx);
        if (!mp.isWritable())
            Fail(p.Line, "property '" + p.Name + "' of " + cls + " is read-only");
        SetValue(obj, mp, p, cls);
    }

    void AssignEvent(TComponent* c, const TDescriptionProperty& p)
    {
        const std::string cls = c->ClassName();
        if (p.Value.Kind != TDescriptionValue::vkIdent)
            Fail(p.Line, "event '" + p.Name + "' of " + cls + " needs a method name, not " + p.Value.Describe());
        const std::any* handler = FMethods ? FMethods(p.Value.Text) : nullptr;
        if (!handler)
            Fail(p.Line, "unknown method '" + p.Value.Text + "' for event '" + p.Name + "' of " + cls);
        bool ok = false;
        try {
            ok = c->SetEvent(p.Name, *handler);
        } catch (const std::exception& e) {
            Fail(p.Line, "cannot set '" + p.Name + "' of " + cls + ": " + e.what());
        }
        if (!ok)
            Fail(p.Line, "unknown event '" + p.Name + "' of " + cls + ", or method '" + p.Value.Text +
                             "' does not fit it");
    }

    static std::optional<int64_t> SetBits(const char* typeName, const TDescriptionValue& v, std::string& bad)
    {
        int64_t bits = 0;
        for (const std::string& item : v.Items) {
            const auto idx = TEnumNames::ValueOf(typeName, item);
            if (!idx || *idx < 0 || *idx >= 64) {
                bad = item;
                return std::nullopt;
            }
            bits |= int64_t(1) << *idx;
        }
        return bits;
    }

    void SetValue(QObject* obj, const QMetaProperty& mp, const TDescriptionProperty& p, const std::string& cls)
    {
        const TDescriptionValue& v = p.Value;
        const QMetaType type = mp.metaType();
        const std::string typeName = mp.typeName() ? mp.typeName() : "";
        const std::string what = "'" + p.Name + "' of " + cls;
        auto mismatch = [&](const std::string& expected) {
            Fail(p.Line, "property " + what + " needs " + expected + ", not " + v.Describe());
        };
        QVariant value;

        if (type.flags() & QMetaType::PointerToQObject) {
            if (v.Kind != TDescriptionValue::vkIdent)
                mismatch("a component name");
            if (v.Text == "nil") {
                QObject* none = nullptr;
                value = QVariant(type, &none);
            } else {
                FFixups.push_back({QPointer<QObject>(obj), mp, v.Text, what, p.Line});
                return;
            }
        } else if (TEnumNames::IsKnown(typeName.c_str()) || TEnumNames::IsKnown(type.name())) {
            const char* enumType = TEnumNames::IsKnown(typeName.c_str()) ? typeName.c_str() : type.name();
            if (v.Kind == TDescriptionValue::vkSet) {
                std::string bad;
                const auto bits = SetBits(enumType, v, bad);
                if (!bits)
                    Fail(p.Line, "'" + bad + "' is not an element of " + enumType + " for property " + what);
                value = IntegralVariant(type, *bits);
            } else if (v.Kind == TDescriptionValue::vkIdent) {
                const auto e = TEnumNames::ValueOf(enumType, v.Text);
                if (!e)
                    Fail(p.Line, "'" + v.Text + "' is not a value of " + enumType + " for property " + what);
                value = IntegralVariant(type, *e);
            } else {
                mismatch("a value name of " + std::string(enumType));
            }
        } else if (mp.isEnumType()) {
            const QMetaEnum me = mp.enumerator();
            bool ok = false;
            int e = 0;
            if (me.isFlag() && v.Kind == TDescriptionValue::vkSet) {
                QByteArray keys;
                for (const std::string& item : v.Items)
                    keys += (keys.isEmpty() ? "" : "|") + QByteArray::fromStdString(item);
                e = keys.isEmpty() ? 0 : me.keysToValue(keys.constData(), &ok);
                ok = ok || keys.isEmpty();
            } else if (v.Kind == TDescriptionValue::vkIdent) {
                e = me.keyToValue(v.Text.c_str(), &ok);
            } else {
                mismatch("a value name of " + std::string(me.name()));
            }
            if (!ok)
                Fail(p.Line, "'" + v.Text + "' is not a value of " + me.name() + " for property " + what);
            value = IntegralVariant(type, e);
        } else if (type.id() == QMetaType::Bool) {
            if (v.Kind != TDescriptionValue::vkIdent || (v.Text != "True" && v.Text != "False"))
                mismatch("True or False");
            value = QVariant(v.Text == "True");
        } else if (IsIntegerType(type.id())) {
            int64_t n = 0;
            if (v.Kind == TDescriptionValue::vkInteger) {
                n = v.Integer;
            } else if (v.Kind == TDescriptionValue::vkIdent && v.Text.compare(0, 2, "cl") == 0) {
                // Colours are plain integers to the meta-object system, so any
                // integer property takes a colour name.
                const auto known = IdentToColor(v.Text);
                if (!known)
                    Fail(p.Line, "unknown colour '" + v.Text + "' for property " + what);
                n = static_cast<uint32_t>(*known);
            } else {
                mismatch("an integer");
            }
            if (!FitsWidth(n, type.sizeOf()) || (IsUnsignedType(type.id()) && n < 0))
                Fail(p.Line, "value " + std::to_string(n) + " out of range for property " + what);
            value = IntegralVariant(type, n);
        } else if (type.id() == QMetaType::Double || type.id() == QMetaType::Float) {
            if (v.Kind == TDescriptionValue::vkInteger)
                value = QVariant(static_cast<double>(v.Integer));
            else if (v.Kind == TDescriptionValue::vkFloat)
                value = QVariant(v.Float);
            else
                mismatch("a number");
            if (type.id() == QMetaType::Float)
                value = QVariant(value.toFloat());
        } else if (type.id() == QMetaType::QString) {
            if (v.Kind != TDescriptionValue::vkString)
                mismatch("a string");
            value = QVariant(QString::fromStdString(v.Text));
        } else if (type == QMetaType::fromType<std::string>()) {
            if (v.Kind != TDescriptionValue::vkString)
                mismatch("a string");
            value = QVariant::fromValue(v.Text);
        } else if (type.id() == QMetaType::QStringList) {
            QStringList list;
            if (v.Kind == TDescriptionValue::vkList)
                for (const std::string& s : v.Items)
                    list << QString::fromStdString(s);
            else if (v.Kind == TDescriptionValue::vkString)
                list << QString::fromStdString(v.Text);
            else
                mismatch("a list of strings");
            value = QVariant(list);
        } else if (type.id() == QMetaType::QByteArray) {
            if (v.Kind != TDescriptionValue::vkBinary)
                mismatch("binary data");
            value = QVariant(QByteArray(reinterpret_cast<const char*>(v.Bytes.data()),
                                        static_cast<qsizetype>(v.Bytes.size())));
        } else {
            Fail(p.Line, "property " + what + " is of a type the description cannot set (" + typeName + ")");
        }
        Write(obj, mp, value, p.Line, what);
    }

    static void Write(QObject* obj, const QMetaProperty& mp, const QVariant& value, int line, const std::string& what)
    {
        bool ok = false;
        try {
            ok = mp.write(obj, value);
        } catch (const std::exception& e) {
            Fail(line, "cannot set " + what + ": " + e.what());
        }
        if (!ok)
            Fail(line, "property " + what + " did not take the value");
    }

    void ResolveFixups()
    {
        for (const TFixup& f : FFixups) {
            if (!f.Target)
                Fail(f.Line, "the object of " + f.What + " is gone");
            TComponent* target = f.Reference == FRoot->Name() ? FRoot : FRoot->FindComponent(f.Reference);
            if (!target)
                Fail(f.Line, "unknown component '" + f.Reference + "' for property " + f.What);
            QObject* o = target->AsQObject();
            const QMetaType type = f.Property.metaType();
            const QMetaObject* needed = type.metaObject();
            if (!o || (needed && !o->metaObject()->inherits(needed)))
                Fail(f.Line, "component '" + f.Reference + "' (" + target->ClassName() + ") does not fit property " +
                                 f.What + (needed ? std::string(" (needs ") + needed->className() + ")" : ""));
            Write(f.Target, f.Property, QVariant(type, &o), f.Line, f.What);
        }
    }

    TComponent* FRoot;
    const TMethodLookup& FMethods;
    std::vector<TComponent*> FCreated; // nested components, in creation order
    std::vector<TComponent*> FAll;     // the root, then FCreated
    std::vector<int> FLines;           // description line of each entry of FAll
    std::vector<TFixup> FFixups;
    std::set<std::string> FNames;
};

} // namespace

void ReadDescription(TComponent* root, const std::string& text, const TMethodLookup& methods)
{
    if (!root)
        throw EReadError("no component to read the description into");
    const TDescriptionObject tree = ParseDescription(text);
    TReader(root, methods).Read(tree);
}

std::string LoadDescriptionResource(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EReadError("stored description " + path.toStdString() + " not found");
    const QByteArray bytes = f.readAll();
    return bytes.toStdString();
}

} // namespace qv
