#pragma once
// The text form of a stored description, parsed into a tree before anything is
// created, so that a syntax error never leaves a half-built window.
//
//   # a comment
//   object Form1: TForm1
//     Caption = "Quorvane v.1.0"        string (C escapes: \" \\ \n \r \t \xHH)
//     ClientWidth = 688                 integer (also -5, $FF, 0xFF)
//     Ratio = 0.25                      floating-point number
//     Visible = False                   identifier: boolean, enumeration value,
//     Color = clBtnFace                   colour name, component or method name, nil
//     Font.Style = [fsBold, fsItalic]   set
//     Items = ("8000", "11025")         list of strings (may span lines)
//     ListItems = {                     binary data as hex digits (may span lines)
//       0A1B2C3D
//     }
//     object Panel1: TPanel             nested component
//     end
//   end
//
// One property per line; a list or binary value may continue on further lines
// until its closing bracket.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/exceptions.h"

namespace qv {

// A description that cannot be read: the message names the line and the problem.
QV_DECLARE_EXCEPTION(EReadError, Exception);

struct TDescriptionValue {
    enum TKind { vkInteger, vkFloat, vkString, vkIdent, vkSet, vkList, vkBinary };
    TKind Kind = vkInteger;
    int Line = 0;
    int64_t Integer = 0;
    double Float = 0;
    std::string Text;                     // string contents or identifier
    std::vector<std::string> Items;       // set elements or list strings
    std::vector<uint8_t> Bytes;           // binary data
    // "integer 5", "identifier clRed": for error messages.
    std::string Describe() const;
};

struct TDescriptionProperty {
    std::string Name; // possibly dotted: Font.Style
    TDescriptionValue Value;
    int Line = 0;
};

struct TDescriptionObject {
    std::string Name;
    std::string ClassName;
    int Line = 0;
    std::vector<TDescriptionProperty> Properties;
    std::vector<TDescriptionObject> Children;
};

// Parses a whole description (one root object). Throws EReadError with
// "line N: problem" for any syntax error.
TDescriptionObject ParseDescription(const std::string& text);

// Escapes a string for writing it back as a description string literal.
std::string QuoteDescriptionString(const std::string& s);

} // namespace qv
