// The XML reader: loading (with unscrambling) and the parsing state machine.
#include "cxmlparser.h"

#include <cstdio>

#include "cvelmor_ehs.h"

namespace {

const std::string kEmptyText;

[[noreturn]] void ThrowXMLError(const std::string& message) { throw CV2DFatalText(message); }

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\t'; }

}  // namespace

// The parsing state machine. Reading at or past the end yields a zero byte,
// and every state stops at the end of the text, so no input makes it read
// outside the text or loop.
class CXMLParser {
public:
    CXMLParser(const std::string& text, CXMLNode& root, std::string& declName,
           std::map<std::string, std::string>& declAttributes)
        : m_text(text), m_root(root), m_declName(declName), m_declAttributes(declAttributes) {}

    void Run() {
        while (!AtEnd()) {
            if (!Seek()) return;
            const char kind = At(m_pos + 1);
            bool finished = false;
            if (kind == '!') {
                m_pos += 3;
                SkipComment();
            } else if (kind == '/') {
                m_pos += 2;
                finished = Close();
            } else if (kind == '?') {
                m_pos += 2;
                Declaration();
            } else {
                m_pos += 1;
                finished = Open();
            }
            if (finished) return;
        }
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char At(size_t pos) const { return pos < m_text.size() ? m_text[pos] : '\0'; }

    // Moves to the next '<'; false when there is none.
    bool Seek() {
        const size_t lt = m_text.find('<', m_pos);
        if (lt == std::string::npos) {
            m_pos = m_text.size();
            return false;
        }
        m_pos = lt;
        return true;
    }

    // Everything opened with "<!" is skipped up to the next "-->".
    void SkipComment() {
        const size_t end = m_pos < m_text.size() ? m_text.find("-->", m_pos) : std::string::npos;
        m_pos = end == std::string::npos ? m_text.size() : end + 3;
    }

    void Declaration() {
        m_declName = CollectName("?");
        while (!AtEnd()) {
            SkipSpace();
            if (At(m_pos) == '?' && At(m_pos + 1) == '>') {
                m_pos += 2;
                return;
            }
            ReadAttribute(m_declAttributes);
        }
    }

    // True when the root element has ended (parsing is finished).
    bool Open() {
        CXMLNode* node = m_current ? m_current->AddChild() : &m_root;
        m_current = node;
        node->m_strName = CollectName("/>");
        while (!AtEnd()) {
            SkipSpace();
            if (At(m_pos) == '/' && At(m_pos + 1) == '>') {
                m_pos += 2;
                return EndElement();
            }
            if (At(m_pos) == '>') {
                ++m_pos;
                return false;
            }
            ReadAttribute(node->m_attributes, &node->m_attributeOrder);
        }
        return false;
    }

    // Any closing tag closes the current element; its name is not read. A
    // closing tag before any element was opened is skipped.
    bool Close() {
        const size_t gt = m_pos < m_text.size() ? m_text.find('>', m_pos) : std::string::npos;
        if (gt == std::string::npos) {
            m_pos = m_text.size();
            return false;
        }
        m_pos = gt + 1;
        return m_current ? EndElement() : false;
    }

    bool EndElement() {
        if (m_current == &m_root) return true;
        m_current = m_current->m_pParent;
        return false;
    }

    void SkipSpace() {
        while (IsSpace(At(m_pos))) ++m_pos;
    }

    // Name bytes up to whitespace, one of `stops`, or the end.
    std::string CollectName(const char* stops) {
        const size_t start = m_pos;
        while (!AtEnd()) {
            const char c = m_text[m_pos];
            if (IsSpace(c) || std::char_traits<char>::find(stops, std::char_traits<char>::length(stops), c)) break;
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }

    // name, then everything up to the next double quote is skipped ('=' and
    // spacing), then the value runs to the following double quote. A later
    // attribute of the same name replaces the earlier one.
    void ReadAttribute(std::map<std::string, std::string>& attributes, std::vector<std::string>* order = nullptr) {
        std::string name = CollectName("=");
        const size_t open = m_text.find('"', m_pos);
        if (open == std::string::npos) {
            m_pos = m_text.size();
            return;
        }
        const size_t close = m_text.find('"', open + 1);
        if (close == std::string::npos) {
            m_pos = m_text.size();
            return;
        }
        if (order && attributes.find(name) == attributes.end()) order->push_back(name);
        attributes[name] = m_text.substr(open + 1, close - open - 1);
        m_pos = close + 1;
    }

    const std::string& m_text;
    CXMLNode& m_root;
    std::string& m_declName;
    std::map<std::string, std::string>& m_declAttributes;
    CXMLNode* m_current = nullptr;
    size_t m_pos = 0;
};

CXMLNode::~CXMLNode() { Clear(); }

// Deep trees are taken apart with a work list, not recursion, so that no
// input can exhaust the stack.
void CXMLNode::Clear() {
    std::vector<std::unique_ptr<CXMLNode>> pending = std::move(m_children);
    m_children.clear();
    while (!pending.empty()) {
        std::unique_ptr<CXMLNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->m_children) pending.push_back(std::move(child));
        node->m_children.clear();
    }
    m_attributes.clear();
    m_attributeOrder.clear();
    m_cursor = m_attributes.end();
    m_strName.clear();
}

CXMLNode* CXMLNode::AddChild() {
    m_children.push_back(std::make_unique<CXMLNode>());
    m_children.back()->m_pParent = this;
    return m_children.back().get();
}

CXMLNode* CXMLNode::GetChild(int index) const {
    if (index < 0 || index >= GetChildCount()) return nullptr;
    return m_children[index].get();
}

const std::string& CXMLNode::GetAttribute(const std::string& name) const {
    const auto it = m_attributes.find(name);
    return it == m_attributes.end() ? kEmptyText : it->second;
}

void CXMLDocument::LoadFromFile(const char* fp_pszPath, bool fp_bScrambled) {
    SetCheckpoint(153, 10);
    m_strText.clear();
    std::string stored;
    if (FILE* f = std::fopen(fp_pszPath, "rb")) {
        char block[4096];
        for (size_t got; (got = std::fread(block, 1, sizeof(block), f)) > 0;) stored.append(block, got);
        std::fclose(f);
    }
    // Line ends are read as a text-mode read gives them (CR LF becomes LF),
    // so descriptors edited on any system read alike.
    const unsigned char key = fp_bScrambled ? XML_SCRAMBLE_KEY : 0;
    m_strText.reserve(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n') continue;
        m_strText.push_back(static_cast<char>(static_cast<unsigned char>(stored[i]) ^ key));
    }
    if (m_strText.empty()) ThrowXMLError(std::string("XMLERROR: the file is empty - ") + fp_pszPath);
}

void CXMLDocument::LoadFromBuffer(const void* fp_pData, size_t fp_uLength, bool fp_bScrambled) {
    SetCheckpoint(153, 40);
    m_strText.clear();
    m_strText.reserve(fp_uLength);
    const unsigned char* bytes = static_cast<const unsigned char*>(fp_pData);
    const unsigned char key = fp_bScrambled ? XML_SCRAMBLE_KEY : 0;
    for (size_t i = 0; i < fp_uLength; ++i) {
        const unsigned char byte = bytes[i] ^ key;
        if (byte != '\r') m_strText.push_back(static_cast<char>(byte));
    }
    if (m_strText.empty()) ThrowXMLError("XMLERROR: buffer is empty.");
}

void CXMLDocument::Parse() {
    SetCheckpoint(153, 55);
    CXMLParser(m_strText, m_root, m_strDeclarationName, m_declarationAttributes).Run();
}
