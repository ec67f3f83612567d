#include "gui/XmlReader.h"

#include "log/Exception.h"

#include <tinyxml.h>

namespace Kiln {
namespace {

void walk(const TiXmlNode& node, XmlReaderListener& listener) {
    switch (node.Type()) {
    case TiXmlNode::TINYXML_DOCUMENT:
        listener.onDocument();
        break;
    case TiXmlNode::TINYXML_ELEMENT: {
        const TiXmlElement& element = *node.ToElement();
        const std::string name = element.ValueStr();
        listener.onElementStart(name);
        for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next())
            listener.onAttribute(name, a->Name(), a->ValueStr());
        listener.onElementEnd(name);
        break;
    }
    case TiXmlNode::TINYXML_TEXT:
        listener.onText(node.ValueStr());
        break;
    case TiXmlNode::TINYXML_COMMENT:
        listener.onComment(node.ValueStr());
        break;
    case TiXmlNode::TINYXML_DECLARATION:
        listener.onDeclaration();
        break;
    default:
        listener.onOther();
        break;
    }
    for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling())
        walk(*child, listener);
}

[[noreturn]] void fail(const std::string& file) {
    throw Exception(7, "Failed to load XML file: " + file, "Kiln::XmlReader::parseXml()");
}

} // namespace

void XmlReader::parseXml(const std::string& file, XmlReaderListener& listener) {
    TiXmlDocument document;
    if (!document.LoadFile(file.c_str()))
        fail(file);
    walk(document, listener);
}

void XmlReader::parseXmlText(const std::string& text, const std::string& name,
                             XmlReaderListener& listener) {
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        fail(name);
    walk(document, listener);
}

} // namespace Kiln
