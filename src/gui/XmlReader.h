#pragma once
// A depth-first walk over an XML document that tells a listener about each
// node in document order: an element's start, then its attributes, then its
// end, then its children. Settings readers only keep the calls they need.
#include <string>

namespace Kiln {

class XmlReaderListener {
public:
    virtual ~XmlReaderListener() = default;
    virtual void onDocument() {}
    virtual void onElementStart(const std::string& element) { (void)element; }
    virtual void onAttribute(const std::string& element, const std::string& name,
                             const std::string& value) {
        (void)element; (void)name; (void)value;
    }
    /// After the element's attributes and before its children.
    virtual void onElementEnd(const std::string& element) { (void)element; }
    virtual void onText(const std::string& text) { (void)text; }
    virtual void onComment(const std::string& text) { (void)text; }
    virtual void onDeclaration() {}
    virtual void onOther() {}
};

class XmlReader {
public:
    /// Walks the file. Throws Kiln::Exception from "Kiln::XmlReader::parseXml()"
    /// with "Failed to load XML file: " + file when it does not load.
    static void parseXml(const std::string& file, XmlReaderListener& listener);
    /// Same for a document held in memory; `name` only appears in the error.
    static void parseXmlText(const std::string& text, const std::string& name,
                             XmlReaderListener& listener);
};

} // namespace Kiln
