#pragma once
// A small XML tree for the task definitions of the store: elements with attributes, text and child
// elements. It reads what it writes and what a careful hand may edit (comments, processing
// instructions, CDATA, character and the five named entities); anything else is a syntax error.

#include <memory>
#include <string>
#include <vector>

#include "rtl/SysUtils.h"

class EXmlError : public Exception
{
public:
    using Exception::Exception;
};

struct TXmlNode
{
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Attributes;
    std::string Text; // the text of an element without child elements (whitespace kept)
    std::vector<std::unique_ptr<TXmlNode>> Children;

    TXmlNode() = default;
    explicit TXmlNode(std::string name, std::string text = {}) : Name(std::move(name)), Text(std::move(text))
    {
    }
    TXmlNode(const TXmlNode& other);
    TXmlNode& operator=(const TXmlNode& other);

    // The first child of that name (nullptr when none).
    const TXmlNode* Child(const std::string& name) const;
    TXmlNode* Child(const std::string& name);
    // The text of the first child of that name, or fallback when there is none.
    std::string ChildText(const std::string& name, const std::string& fallback = {}) const;
    std::string Attribute(const std::string& name, const std::string& fallback = {}) const;
    void SetAttribute(const std::string& name, const std::string& value);
    TXmlNode& Add(std::string name, std::string text = {});
    TXmlNode& AddNode(const TXmlNode& node);
};

// Parses a document (UTF-8; a UTF-8 byte-order mark is skipped) and returns its root element.
// Raises EXmlError with the line of the fault.
TXmlNode ParseXml(const std::string& text);
// The document with an XML declaration, two blanks of indentation per level and LF line ends.
std::string WriteXml(const TXmlNode& root);
