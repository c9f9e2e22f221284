#pragma once
// Builds a component tree from a stored description (the text form is in
// description_parser.h). The root exists already (the form being created); every
// nested object is created by class name through TComponentRegistry, owned by
// the root and, when both are widgets, placed on its enclosing object.
//
// Properties are set by name through Qt's meta-object system:
//   integers and floating-point numbers; booleans True/False; strings (QString
//   or std::string); string lists; enumerations by value name (TEnumNames, or a
//   Q_ENUM); sets "[a, b]" of a type whose element names are registered with
//   TEnumNames under the set type's name (bit 1 << element); colours by name
//   (clBtnFace; any integer property takes them, since TColor is a plain
//   integer to the meta-object system) or number; nested objects' properties
//   by dotted names (Bevel.BevelOuter) when the outer property holds a QObject;
//   references to other components by name (or nil) for properties of a
//   QObject-derived pointer type, resolved once every component exists; binary
//   data (QByteArray) as hex; events (OnClick...) by the root's method names.
// Then Loaded runs on each component in creation order, the root first.
//
// Any error throws EReadError "line N: problem" and frees every component that
// was created; the root's own properties that were already set stay set.
#include <QString>
#include <any>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/component.h"
#include "framework/description_parser.h"

namespace qv {

// Finds the handler the root offers under a method name; null when unknown.
// The std::any holds the exact std::function type of the events it fits.
using TMethodLookup = std::function<const std::any*(const std::string& name)>;

// Reads a description into root. The description's root object must name root's
// class; root takes the stored name.
void ReadDescription(TComponent* root, const std::string& text, const TMethodLookup& methods);

// The text of a description compiled in as a Qt resource (":/forms/main.qvd").
// Throws EReadError when it does not exist.
std::string LoadDescriptionResource(const QString& path);

} // namespace qv
