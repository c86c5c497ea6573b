#include "scheduling/TaskXml.h"

#include <cstdint>

#include "foundation/StringUtils.h"
#include "rtl/SysUtils.h"

TXmlNode::TXmlNode(const TXmlNode& other) : Name(other.Name), Attributes(other.Attributes), Text(other.Text)
{
    for (const auto& c : other.Children)
        Children.push_back(std::make_unique<TXmlNode>(*c));
}

TXmlNode& TXmlNode::operator=(const TXmlNode& other)
{
    if (this != &other) {
        TXmlNode copy(other);
        Name = std::move(copy.Name);
        Attributes = std::move(copy.Attributes);
        Text = std::move(copy.Text);
        Children = std::move(copy.Children);
    }
    return *this;
}

const TXmlNode* TXmlNode::Child(const std::string& name) const
{
    for (const auto& c : Children)
        if (c->Name == name)
            return c.get();
    return nullptr;
}

TXmlNode* TXmlNode::Child(const std::string& name)
{
    for (auto& c : Children)
        if (c->Name == name)
            return c.get();
    return nullptr;
}

std::string TXmlNode::ChildText(const std::string& name, const std::string& fallback) const
{
    const TXmlNode* c = Child(name);
    return c ? c->Text : fallback;
}

std::string TXmlNode::Attribute(const std::string& name, const std::string& fallback) const
{
    for (const auto& a : Attributes)
        if (a.first == name)
            return a.second;
    return fallback;
}

void TXmlNode::SetAttribute(const std::string& name, const std::string& value)
{
    for (auto& a : Attributes)
        if (a.first == name) {
            a.second = value;
            return;
        }
    Attributes.emplace_back(name, value);
}

TXmlNode& TXmlNode::Add(std::string name, std::string text)
{
    Children.push_back(std::make_unique<TXmlNode>(std::move(name), std::move(text)));
    return *Children.back();
}

TXmlNode& TXmlNode::AddNode(const TXmlNode& node)
{
    Children.push_back(std::make_unique<TXmlNode>(node));
    return *Children.back();
}

namespace {

class TXmlParser
{
public:
    explicit TXmlParser(const std::string& text) : s(text)
    {
        if (s.compare(0, 3, "\xEF\xBB\xBF") == 0)
            pos = 3;
    }

    TXmlNode Document()
    {
        SkipMisc();
        if (!At("<"))
            Fail("no root element");
        TXmlNode root = Element(0);
        SkipMisc();
        if (pos < s.size())
            Fail("text after the root element");
        return root;
    }

private:
    const std::string& s;
    size_t pos = 0;

    [[noreturn]] void Fail(const std::string& what) const
    {
        int line = 1;
        for (size_t i = 0; i < pos && i < s.size(); ++i)
            if (s[i] == '\n')
                ++line;
        throw EXmlError(Format("XML error in line %d: %s", {line, what}));
    }

    bool At(const char* t) const { return s.compare(pos, std::char_traits<char>::length(t), t) == 0; }

    void SkipBlanks()
    {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r' || s[pos] == '\n'))
            ++pos;
    }

    void SkipPast(const char* end)
    {
        size_t e = s.find(end, pos);
        if (e == std::string::npos)
            Fail(std::string("missing \"") + end + "\"");
        pos = e + std::char_traits<char>::length(end);
    }

    // Blanks, comments, processing instructions and a document type before and after the root.
    void SkipMisc()
    {
        for (;;) {
            SkipBlanks();
            if (At("<?"))
                SkipPast("?>");
            else if (At("<!--"))
                SkipPast("-->");
            else if (At("<!DOCTYPE"))
                SkipPast(">");
            else
                return;
        }
    }

    static bool NameChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
    }

    std::string Name()
    {
        size_t start = pos;
        while (pos < s.size() && NameChar(s[pos]))
            ++pos;
        if (pos == start)
            Fail("name expected");
        return s.substr(start, pos - start);
    }

    // Text up to the next "<" (or the quote that ends an attribute), entities replaced.
    std::string CharData(char stop)
    {
        std::string out;
        while (pos < s.size() && s[pos] != stop) {
            if (stop != '<' && s[pos] == '<')
                Fail("\"<\" in an attribute value");
            if (s[pos] != '&') {
                out += s[pos++];
                continue;
            }
            size_t semi = s.find(';', pos);
            if (semi == std::string::npos || semi - pos > 12)
                Fail("unterminated entity");
            std::string ent = s.substr(pos + 1, semi - pos - 1);
            pos = semi + 1;
            if (ent == "lt")
                out += '<';
            else if (ent == "gt")
                out += '>';
            else if (ent == "amp")
                out += '&';
            else if (ent == "quot")
                out += '"';
            else if (ent == "apos")
                out += '\'';
            else if (ent.size() > 1 && ent[0] == '#') {
                uint32_t cp = 0;
                bool hex = ent[1] == 'x' || ent[1] == 'X';
                size_t i = hex ? 2 : 1;
                if (i >= ent.size())
                    Fail("bad character reference");
                for (; i < ent.size(); ++i) {
                    char c = ent[i];
                    int digit = (c >= '0' && c <= '9')          ? c - '0'
                                : hex && (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                : hex && (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                                : -1;
                    if (digit < 0 || cp > 0x10FFFF)
                        Fail("bad character reference");
                    cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
                }
                if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                    Fail("bad character reference");
                utf8::Append(out, static_cast<char32_t>(cp));
            } else {
                Fail("unknown entity &" + ent + ";");
            }
        }
        return out;
    }

    TXmlNode Element(int depth)
    {
        if (depth > 64)
            Fail("elements nested too deeply");
        ++pos; // "<"
        TXmlNode node;
        node.Name = Name();
        for (;;) {
            SkipBlanks();
            if (pos >= s.size())
                Fail("unterminated start tag");
            if (At("/>")) {
                pos += 2;
                return node;
            }
            if (s[pos] == '>') {
                ++pos;
                break;
            }
            std::string attr = Name();
            SkipBlanks();
            if (pos >= s.size() || s[pos] != '=')
                Fail("\"=\" expected");
            ++pos;
            SkipBlanks();
            if (pos >= s.size() || (s[pos] != '"' && s[pos] != '\''))
                Fail("quoted value expected");
            char quote = s[pos++];
            std::string value = CharData(quote);
            if (pos >= s.size())
                Fail("unterminated attribute value");
            ++pos;
            node.Attributes.emplace_back(attr, value);
        }
        std::string text;
        for (;;) {
            if (pos >= s.size())
                Fail("missing end tag of " + node.Name);
            if (At("</")) {
                pos += 2;
                if (Name() != node.Name)
                    Fail("end tag does not match " + node.Name);
                SkipBlanks();
                if (pos >= s.size() || s[pos] != '>')
                    Fail("\">\" expected");
                ++pos;
                break;
            }
            if (At("<!--")) {
                SkipPast("-->");
            } else if (At("<![CDATA[")) {
                pos += 9;
                size_t e = s.find("]]>", pos);
                if (e == std::string::npos)
                    Fail("unterminated CDATA");
                text += s.substr(pos, e - pos);
                pos = e + 3;
            } else if (At("<?")) {
                SkipPast("?>");
            } else if (s[pos] == '<') {
                node.Children.push_back(std::make_unique<TXmlNode>(Element(depth + 1)));
            } else {
                text += CharData('<');
            }
        }
        if (node.Children.empty())
            node.Text = std::move(text);
        return node;
    }
};

std::string Escape(const std::string& t, bool attr)
{
    std::string out;
    out.reserve(t.size());
    for (char c : t) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += attr ? "&quot;" : "\"";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\n':
            out += attr ? "&#10;" : "\n";
            break;
        case '\t':
            out += attr ? "&#9;" : "\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += Format("&#%d;", {static_cast<int>(c)});
            else
                out += c;
        }
    }
    return out;
}

void WriteNode(const TXmlNode& n, int depth, std::string& out)
{
    std::string indent(static_cast<size_t>(depth) * 2, ' ');
    out += indent + "<" + n.Name;
    for (const auto& a : n.Attributes)
        out += " " + a.first + "=\"" + Escape(a.second, true) + "\"";
    if (n.Children.empty()) {
        if (n.Text.empty())
            out += " />\n";
        else
            out += ">" + Escape(n.Text, false) + "</" + n.Name + ">\n";
        return;
    }
    out += ">\n";
    for (const auto& c : n.Children)
        WriteNode(*c, depth + 1, out);
    out += indent + "</" + n.Name + ">\n";
}

} // namespace

TXmlNode ParseXml(const std::string& text)
{
    return TXmlParser(text).Document();
}

std::string WriteXml(const TXmlNode& root)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    WriteNode(root, 0, out);
    return out;
}
