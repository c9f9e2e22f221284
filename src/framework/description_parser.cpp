#include "framework/description_parser.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <set>

namespace qv {

namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Shown(char c)
{
    if (c == '\n' || c == '\r')
        return "end of line";
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
        static const char* digits = "0123456789ABCDEF";
        const auto u = static_cast<unsigned char>(c);
        return std::string("byte 0x") + digits[u >> 4] + digits[u & 15];
    }
    return std::string("'") + c + "'";
}

class TParser {
public:
    explicit TParser(const std::string& text) : s(text) {}

    TDescriptionObject Parse()
    {
        SkipBlankLines();
        if (AtEnd())
            Fail(line, "the description is empty");
        TDescriptionObject root = Object();
        SkipBlankLines();
        if (!AtEnd())
            Fail(line, "text after the final 'end'");
        return root;
    }

private:
    [[noreturn]] void Fail(int atLine, const std::string& problem)
    {
        throw EReadError("line " + std::to_string(atLine) + ": " + problem);
    }

    bool AtEnd() const { return p >= s.size(); }
    char Peek() const { return p < s.size() ? s[p] : '\0'; }

    // Spaces, tabs and a trailing comment; stops at the end of the line.
    void SkipSpaces()
    {
        while (p < s.size()) {
            const char c = s[p];
            if (c == ' ' || c == '\t') {
                ++p;
            } else if (c == '#') {
                while (p < s.size() && s[p] != '\n')
                    ++p;
            } else {
                break;
            }
        }
    }
    void SkipNewline()
    {
        if (Peek() == '\r')
            ++p;
        if (Peek() == '\n')
            ++p;
        ++line;
    }
    bool AtLineEnd()
    {
        SkipSpaces();
        return AtEnd() || Peek() == '\n' || Peek() == '\r';
    }
    void SkipBlankLines()
    {
        for (;;) {
            SkipSpaces();
            if (AtEnd() || (Peek() != '\n' && Peek() != '\r'))
                return;
            SkipNewline();
        }
    }
    // Whitespace, comments and line breaks inside brackets.
    void SkipInsideBrackets() { SkipBlankLines(); }
    void ExpectLineEnd(const std::string& after)
    {
        if (!AtLineEnd())
            Fail(line, "unexpected " + Shown(Peek()) + " after " + after);
        if (!AtEnd())
            SkipNewline();
    }

    std::string Ident(const char* what)
    {
        SkipSpaces();
        if (!IsIdentStart(Peek()))
            Fail(line, std::string(what) + " expected, found " + (AtEnd() ? "end of text" : Shown(Peek())));
        const size_t b = p;
        while (IsIdentChar(Peek()))
            ++p;
        return s.substr(b, p - b);
    }

    TDescriptionObject Object()
    {
        TDescriptionObject o;
        o.Line = line;
        const std::string kw = Ident("'object'");
        if (kw != "object")
            Fail(line, "'object' expected, found '" + kw + "'");
        o.Name = Ident("component name");
        SkipSpaces();
        if (Peek() != ':')
            Fail(line, "':' expected after component name '" + o.Name + "'");
        ++p;
        o.ClassName = Ident("class name");
        ExpectLineEnd("class name '" + o.ClassName + "'");

        std::set<std::string> seen;
        bool hadChild = false;
        for (;;) {
            SkipBlankLines();
            if (AtEnd())
                Fail(line, "'end' of object '" + o.Name + "' (line " + std::to_string(o.Line) + ") missing");
            const int at = line;
            const size_t mark = p;
            const std::string word = Ident("property name, 'object' or 'end'");
            if (word == "end") {
                ExpectLineEnd("'end'");
                return o;
            }
            if (word == "object") {
                p = mark;
                hadChild = true;
                o.Children.push_back(Object());
                continue;
            }
            if (hadChild)
                Fail(at, "property '" + word + "' after a nested object: properties come first");
            TDescriptionProperty prop;
            prop.Line = at;
            prop.Name = word;
            while (Peek() == '.') {
                ++p;
                prop.Name += "." + Ident("sub-property name");
            }
            SkipSpaces();
            if (Peek() != '=')
                Fail(at, "'=' expected after property name '" + prop.Name + "'");
            ++p;
            prop.Value = Value();
            ExpectLineEnd("the value of '" + prop.Name + "'");
            if (!seen.insert(prop.Name).second)
                Fail(at, "property '" + prop.Name + "' is set twice");
            o.Properties.push_back(std::move(prop));
        }
    }

    TDescriptionValue Value()
    {
        SkipSpaces();
        TDescriptionValue v;
        v.Line = line;
        const char c = Peek();
        if (AtEnd() || c == '\n' || c == '\r')
            Fail(line, "value expected");
        if (c == '"') {
            v.Kind = TDescriptionValue::vkString;
            v.Text = String();
        } else if (c == '[') {
            v.Kind = TDescriptionValue::vkSet;
            ++p;
            SkipInsideBrackets();
            if (Peek() == ']') {
                ++p;
                return v;
            }
            for (;;) {
                v.Items.push_back(Ident("set element"));
                SkipInsideBrackets();
                if (Peek() == ']') {
                    ++p;
                    break;
                }
                if (Peek() != ',')
                    Fail(line, "',' or ']' expected in set, found " + (AtEnd() ? "end of text" : Shown(Peek())));
                ++p;
                SkipInsideBrackets();
            }
        } else if (c == '(') {
            v.Kind = TDescriptionValue::vkList;
            ++p;
            SkipInsideBrackets();
            if (Peek() == ')') {
                ++p;
                return v;
            }
            for (;;) {
                if (Peek() != '"')
                    Fail(line, "string expected in list, found " + (AtEnd() ? "end of text" : Shown(Peek())));
                v.Items.push_back(String());
                SkipInsideBrackets();
                if (Peek() == ')') {
                    ++p;
                    break;
                }
                if (Peek() != ',')
                    Fail(line, "',' or ')' expected in list, found " + (AtEnd() ? "end of text" : Shown(Peek())));
                ++p;
                SkipInsideBrackets();
            }
        } else if (c == '{') {
            v.Kind = TDescriptionValue::vkBinary;
            ++p;
            Binary(v);
        } else if (IsDigit(c) || c == '-' || c == '+' || c == '$') {
            Number(v);
        } else if (IsIdentStart(c)) {
            v.Kind = TDescriptionValue::vkIdent;
            v.Text = Ident("value");
        } else {
            Fail(line, "unexpected " + Shown(c) + " where a value was expected");
        }
        return v;
    }

    std::string String()
    {
        const int start = line;
        ++p; // opening quote
        std::string out;
        for (;;) {
            if (AtEnd() || Peek() == '\n' || Peek() == '\r')
                Fail(start, "unterminated string");
            const char c = s[p++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = Peek();
            ++p;
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                const int hi = HexDigit(Peek());
                const int lo = hi < 0 ? -1 : HexDigit(p + 1 < s.size() ? s[p + 1] : '\0');
                if (hi < 0 || lo < 0)
                    Fail(line, "'\\x' needs two hex digits");
                out += static_cast<char>(hi * 16 + lo);
                p += 2;
                break;
            }
            default: Fail(line, "unknown escape '\\" + std::string(1, e) + "' in string");
            }
        }
    }

    void Binary(TDescriptionValue& v)
    {
        const int start = line;
        int pending = -1;
        for (;;) {
            SkipInsideBrackets();
            if (AtEnd())
                Fail(start, "'}' missing after binary data");
            const char c = Peek();
            if (c == '}') {
                ++p;
                break;
            }
            const int d = HexDigit(c);
            if (d < 0)
                Fail(line, "unexpected " + Shown(c) + " in binary data (hex digits expected)");
            ++p;
            if (pending < 0) {
                pending = d;
            } else {
                v.Bytes.push_back(static_cast<uint8_t>(pending * 16 + d));
                pending = -1;
            }
        }
        if (pending >= 0)
            Fail(start, "odd number of hex digits in binary data");
    }

    void Number(TDescriptionValue& v)
    {
        const size_t b = p;
        bool negative = false;
        if (Peek() == '-' || Peek() == '+') {
            negative = Peek() == '-';
            ++p;
        }
        bool hex = false;
        if (Peek() == '$') {
            hex = true;
            ++p;
        } else if (Peek() == '0' && p + 1 < s.size() && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
            hex = true;
            p += 2;
        }
        if (hex) {
            uint64_t value = 0;
            int digits = 0;
            while (HexDigit(Peek()) >= 0) {
                if (value > (std::numeric_limits<uint64_t>::max() >> 4))
                    Fail(line, "number out of range");
                value = value * 16 + static_cast<uint64_t>(HexDigit(Peek()));
                ++p;
                ++digits;
            }
            if (digits == 0)
                Fail(line, "hex digits expected after '" + s.substr(b, p - b) + "'");
            if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
                Fail(line, "number out of range");
            v.Kind = TDescriptionValue::vkInteger;
            v.Integer = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
        } else {
            if (!IsDigit(Peek()))
                Fail(line, "digit expected after '" + s.substr(b, p - b) + "'");
            bool isFloat = false;
            while (IsDigit(Peek()))
                ++p;
            if (Peek() == '.') {
                isFloat = true;
                ++p;
                while (IsDigit(Peek()))
                    ++p;
            }
            if (Peek() == 'e' || Peek() == 'E') {
                isFloat = true;
                ++p;
                if (Peek() == '-' || Peek() == '+')
                    ++p;
                if (!IsDigit(Peek()))
                    Fail(line, "exponent digits expected");
                while (IsDigit(Peek()))
                    ++p;
            }
            const std::string text = s.substr(b, p - b);
            errno = 0;
            if (isFloat) {
                v.Kind = TDescriptionValue::vkFloat;
                v.Float = std::strtod(text.c_str(), nullptr);
            } else {
                v.Kind = TDescriptionValue::vkInteger;
                v.Integer = std::strtoll(text.c_str(), nullptr, 10);
            }
            if (errno == ERANGE)
                Fail(line, "number out of range");
        }
        if (IsIdentChar(Peek()) || Peek() == '.')
            Fail(line, "malformed number '" + s.substr(b, p - b + 1) + "'");
    }

    const std::string& s;
    size_t p = 0;
    int line = 1;
};

} // namespace

std::string TDescriptionValue::Describe() const
{
    switch (Kind) {
    case vkInteger: return "integer " + std::to_string(Integer);
    case vkFloat: return "number " + std::to_string(Float);
    case vkString: return "string " + QuoteDescriptionString(Text);
    case vkIdent: return "'" + Text + "'";
    case vkSet: return "a set";
    case vkList: return "a list";
    case vkBinary: return "binary data";
    }
    return "a value";
}

TDescriptionObject ParseDescription(const std::string& text) { return TParser(text).Parse(); }

std::string QuoteDescriptionString(const std::string& s)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                out += "\\x";
                out += digits[u >> 4];
                out += digits[u & 15];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace qv
