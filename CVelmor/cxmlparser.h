// The engine's own small XML reader. Every data file of the engine is read
// through it: a whole text becomes a tree of elements with names, attributes
// (kept in byte-wise name order) and children. Character data between tags is
// never kept: all information in the engine's files lives in attributes.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Documents may be stored scrambled: every byte XOR this key.
const unsigned char XML_SCRAMBLE_KEY = 0xB4;

class CXMLNode {
public:
    CXMLNode() = default;
    ~CXMLNode();
    CXMLNode(const CXMLNode&) = delete;
    CXMLNode& operator=(const CXMLNode&) = delete;

    const std::string& GetName() const { return m_strName; }
    CXMLNode* GetParent() const { return m_pParent; }

    int GetChildCount() const { return static_cast<int>(m_children.size()); }
    // Null for an index below 0 or not below the count.
    CXMLNode* GetChild(int index) const;

    // The empty text when the node has no attribute of that name.
    const std::string& GetAttribute(const std::string& name) const;
    const std::map<std::string, std::string>& GetAttributes() const { return m_attributes; }

    // Attribute names in the order the document first gives them (a repeated
    // name keeps its first place and its last value), for readers whose
    // attributes apply one after another.
    const std::vector<std::string>& GetAttributeOrder() const { return m_attributeOrder; }

    // Attribute cursor, in byte-wise name order.
    void FirstAttribute() { m_cursor = m_attributes.begin(); }
    void NextAttribute() {
        if (m_cursor != m_attributes.end()) ++m_cursor;
    }
    // Null when the cursor is past the last attribute.
    const char* GetAttributeName() const {
        return m_cursor == m_attributes.end() ? nullptr : m_cursor->first.c_str();
    }

private:
    friend class CXMLDocument;
    friend class CXMLParser;

    CXMLNode* AddChild();
    void Clear();

    CXMLNode* m_pParent = nullptr;
    std::string m_strName;
    std::map<std::string, std::string> m_attributes;
    std::vector<std::string> m_attributeOrder;
    std::map<std::string, std::string>::const_iterator m_cursor = m_attributes.end();
    std::vector<std::unique_ptr<CXMLNode>> m_children;
};

class CXMLDocument {
public:
    CXMLDocument() = default;
    CXMLDocument(const CXMLDocument&) = delete;
    CXMLDocument& operator=(const CXMLDocument&) = delete;

    // Both raise the text-message error "XMLERROR: ..." (CV2DFatalText)
    // when nothing is left to parse. A file that cannot be opened
    // counts as empty.
    void LoadFromFile(const char* fp_pszPath, bool fp_bScrambled);
    void LoadFromBuffer(const void* fp_pData, size_t fp_uLength, bool fp_bScrambled);

    // Builds the tree from the loaded text. Never reads past the text and
    // always ends: text that stops inside a tag, a comment, a quoted value
    // or before the root is closed leaves the tree built so far.
    void Parse();

    CXMLNode* GetRoot() { return &m_root; }
    const std::string& GetText() const { return m_strText; }
    const std::string& GetDeclarationName() const { return m_strDeclarationName; }
    const std::map<std::string, std::string>& GetDeclarationAttributes() const { return m_declarationAttributes; }

private:
    std::string m_strText;
    std::map<std::string, std::string> m_declarationAttributes;
    std::string m_strDeclarationName;
    CXMLNode m_root;
};
