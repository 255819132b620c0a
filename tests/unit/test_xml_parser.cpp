// The XML reader: trees for the forgiving rules, attribute order and cursor,
// scrambling, empty input, and text that ends anywhere.
#include <string>

#include "cxmlparser.h"
#include "test_support.h"

namespace {

// Parses `text` (optionally stored scrambled) and keeps the document.
struct Parsed {
    explicit Parsed(const std::string& text, bool scrambled = false) {
        doc.LoadFromBuffer(text.data(), text.size(), scrambled);
        doc.Parse();
    }
    CXMLNode* root() { return doc.GetRoot(); }
    CXMLDocument doc;
};

std::string Scramble(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ XML_SCRAMBLE_KEY);
    return out;
}

// A compact picture of a tree: name{attr=value,...}[children...].
std::string Describe(const CXMLNode* node) {
    std::string out = node->GetName();
    if (!node->GetAttributes().empty()) {
        out += "{";
        for (const auto& attribute : node->GetAttributes()) out += attribute.first + "=" + attribute.second + ",";
        out.back() = '}';
    }
    if (node->GetChildCount() > 0) {
        out += "[";
        for (int i = 0; i < node->GetChildCount(); ++i) out += Describe(node->GetChild(i)) + (i + 1 < node->GetChildCount() ? " " : "");
        out += "]";
    }
    return out;
}

std::string ErrorOf(const std::string& text) {
    CXMLDocument doc;
    try {
        doc.LoadFromBuffer(text.data(), text.size(), false);
    } catch (const CV2DFatalText& error) {
        return error.what();
    }
    return "";
}

TEST(XMLParser, ForgivingRulesBuildTheDocumentedTrees) {
    // A repeated attribute keeps the later value; "/>" ends the root.
    EXPECT_EQ(Describe(Parsed("<root a=\"1\" a=\"2\"/>").root()), "root{a=2}");
    // Any closing tag closes the current element.
    EXPECT_EQ(Describe(Parsed("<a><b x=\"1\"></c><d/></a>").root()), "a[b{x=1} d]");
    // Element text is never kept.
    EXPECT_EQ(Describe(Parsed("<a>text<b/>more text</a>").root()), "a[b]");
    // Spaces around '=' change nothing; line feeds and tabs are spacing too.
    EXPECT_EQ(Describe(Parsed("<a\tx = \"1\"\ny=\"2\"/>").root()), "a{x=1,y=2}");
    // Values are taken literally: no entities, '>' and '<' are plain bytes.
    EXPECT_EQ(Describe(Parsed("<a v=\"&lt;<b>\"/>").root()), "a{v=&lt;<b>}");
    // Names are case-sensitive bytes.
    EXPECT_EQ(Describe(Parsed("<Root A=\"1\" a=\"2\"/>").root()), "Root{A=1,a=2}");
}

TEST(XMLParser, DeclarationAndCommentsAreReadAndOnlyTheFirstTopLevelElementCounts) {
    Parsed p("<?xml version=\"1.0\"?><!-- <x/> --><r></r><s/>");
    EXPECT_EQ(p.doc.GetDeclarationName(), "xml");
    ASSERT_EQ(p.doc.GetDeclarationAttributes().size(), 1u);
    EXPECT_EQ(p.doc.GetDeclarationAttributes().at("version"), "1.0");
    EXPECT_EQ(Describe(p.root()), "r");

    // Everything opened with "<!" runs to the next "-->".
    EXPECT_EQ(Describe(Parsed("<!DOCTYPE r --><r><![CDATA[ <q/> ]]--><t/></r>").root()), "r[t]");
    EXPECT_EQ(Describe(Parsed("<r><!-- </r> --><c/></r>").root()), "r[c]");
}

TEST(XMLParser, SingleQuotesDoNotDelimitValues) {
    // The name runs to '=', then everything up to the next double quote is
    // skipped, so the single-quoted value is lost and the next value is taken.
    EXPECT_EQ(Describe(Parsed("<a x='1' y=\"2\"/>").root()), "a{x=2}");
}

TEST(XMLParser, AttributeCursorVisitsNamesInByteOrder) {
    Parsed p("<a z=\"3\" a=\"1\" m=\"2\" B=\"0\"/>");
    CXMLNode* node = p.root();
    std::string visited;
    for (node->FirstAttribute(); const char* name = node->GetAttributeName(); node->NextAttribute())
        visited += std::string(name) + "=" + node->GetAttribute(name) + ";";
    EXPECT_EQ(visited, "B=0;a=1;m=2;z=3;");
    // Moving past the end stays past the end.
    node->NextAttribute();
    EXPECT_EQ(node->GetAttributeName(), nullptr);
    node->FirstAttribute();
    EXPECT_STREQ(node->GetAttributeName(), "B");

    Parsed bare("<a/>");
    bare.root()->FirstAttribute();
    EXPECT_EQ(bare.root()->GetAttributeName(), nullptr);
}

TEST(XMLParser, MissingAttributesAndChildrenReadAsEmptyAndNull) {
    Parsed p("<a e=\"\"><b/><c/></a>");
    EXPECT_EQ(p.root()->GetAttribute("missing"), "");
    EXPECT_EQ(p.root()->GetAttribute("e"), "");
    EXPECT_EQ(p.root()->GetChild(-1), nullptr);
    EXPECT_EQ(p.root()->GetChild(2), nullptr);
    ASSERT_NE(p.root()->GetChild(1), nullptr);
    EXPECT_EQ(p.root()->GetChild(1)->GetName(), "c");
    EXPECT_EQ(p.root()->GetChild(1)->GetParent(), p.root());
    EXPECT_EQ(p.root()->GetParent(), nullptr);
    EXPECT_EQ(p.root()->GetChild(0)->GetChild(0), nullptr);
}

TEST(XMLParser, ScrambledTextParsesToTheSameTreeAsPlainText) {
    const std::string plain =
        "<?xml version=\"1.0\"?>\r\n<techniquespack>\r\n  <t id=\"TEQ_STD2\" blend=\"1\">\r\n"
        "    <state n=\"5\" v=\"2\"/>\r\n  </t>\r\n</techniquespack>\r\n";
    Parsed fromPlain(plain);
    Parsed fromScrambled(Scramble(plain), true);
    EXPECT_EQ(Describe(fromScrambled.root()), Describe(fromPlain.root()));
    EXPECT_EQ(Describe(fromPlain.root()), "techniquespack[t{blend=1,id=TEQ_STD2}[state{n=5,v=2}]]");
    // Carriage returns are dropped after unscrambling, so none reach names.
    EXPECT_EQ(fromScrambled.doc.GetText().find('\r'), std::string::npos);
    // Reading scrambled bytes as plain gives nothing useful.
    EXPECT_NE(Describe(Parsed(Scramble(plain), false).root()), Describe(fromPlain.root()));
}

TEST(XMLParser, EmptyInputRaisesTheTextMessageErrors) {
    EXPECT_EQ(ErrorOf(""), "XMLERROR: buffer is empty.");
    EXPECT_EQ(ErrorOf("\r\r\r"), "XMLERROR: buffer is empty.");
    // A scrambled carriage return is a carriage return once unscrambled.
    CXMLDocument doc;
    const std::string scrambledCR(3, static_cast<char>('\r' ^ XML_SCRAMBLE_KEY));
    try {
        doc.LoadFromBuffer(scrambledCR.data(), scrambledCR.size(), true);
        FAIL();
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "XMLERROR: buffer is empty.");
    }
}

class XMLFileTest : public EngineTest {};

TEST_F(XMLFileTest, FilesReadWithUnixOrWindowsLineEndsGiveTheSameTree) {
    testsupport::WriteFile("lf.xml", "<respack>\n<r id=\"A\"\ntag=\"1\"/>\n</respack>\n");
    testsupport::WriteFile("crlf.xml", "<respack>\r\n<r id=\"A\"\r\ntag=\"1\"/>\r\n</respack>\r\n");
    CXMLDocument lf, crlf;
    lf.LoadFromFile("lf.xml", false);
    crlf.LoadFromFile("crlf.xml", false);
    lf.Parse();
    crlf.Parse();
    EXPECT_EQ(Describe(crlf.GetRoot()), "respack[r{id=A,tag=1}]");
    EXPECT_EQ(Describe(lf.GetRoot()), Describe(crlf.GetRoot()));

    testsupport::WriteFile("scrambled.xml", Scramble("<r a=\"1\">\r\n</r>"));
    CXMLDocument scrambled;
    scrambled.LoadFromFile("scrambled.xml", true);
    scrambled.Parse();
    EXPECT_EQ(Describe(scrambled.GetRoot()), "r{a=1}");
}

TEST_F(XMLFileTest, EmptyOrMissingFilesRaiseTheFileError) {
    testsupport::WriteFile("empty.xml", "");
    for (const char* path : {"empty.xml", "no-such-file.xml"}) {
        CXMLDocument doc;
        try {
            doc.LoadFromFile(path, false);
            ADD_FAILURE() << path;
        } catch (const CV2DFatalText& error) {
            EXPECT_EQ(std::string(error.what()), std::string("XMLERROR: the file is empty - ") + path);
        }
    }
}

// Text that ends early keeps the tree built so far and never reads past the
// end (these run under AddressSanitizer too).
TEST(XMLParser, TruncatedTextStopsWithThePartialTree) {
    const std::string full = "<?xml v=\"1\"?><!-- c --><a x=\"1\"><b y=\"22\"><c/></b><d z=\"3\"/></a>";
    for (size_t cut = 1; cut < full.size(); ++cut) {
        // The exact copy makes any read past the cut visible to the sanitizer.
        Parsed p(full.substr(0, cut));
        (void)Describe(p.root());
    }
    EXPECT_EQ(Describe(Parsed("<a x=\"1\"><b y=\"2").root()), "a{x=1}[b]");
    EXPECT_EQ(Describe(Parsed("<a x=\"1\"><b y=\"22\"><c/>").root()), "a{x=1}[b{y=22}[c]]");
    EXPECT_EQ(Describe(Parsed("<a><!-- never closed <b/>").root()), "a");
    EXPECT_EQ(Describe(Parsed("<a x=\"1\"><b").root()), "a{x=1}[b]");
    EXPECT_EQ(Describe(Parsed("<a></").root()), "a");
    EXPECT_EQ(Describe(Parsed("<?xml version=\"1.0").root()), "");
    EXPECT_EQ(Describe(Parsed("<a").root()), "a");
}

TEST(XMLParser, StrayCloseBeforeTheRootIsSkippedAndTextWithoutTagsGivesAnEmptyRoot) {
    EXPECT_EQ(Describe(Parsed("</x><r a=\"1\"/>").root()), "r{a=1}");
    EXPECT_EQ(Describe(Parsed("just text, no tags").root()), "");
    // Zero bytes inside the text are ordinary bytes.
    const std::string withZero("<a n=\"x\0y\"/>", 12);
    EXPECT_EQ(Parsed(withZero).root()->GetAttribute("n"), std::string("x\0y", 3));
}

TEST(XMLParser, DeepNestingIsBuiltAndFreedWithoutExhaustingTheStack) {
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<n>";
    Parsed p(deep);
    const CXMLNode* node = p.root();
    int depth = 1;
    while (node->GetChildCount() == 1) {
        node = node->GetChild(0);
        ++depth;
    }
    EXPECT_EQ(depth, 200000);
}

}  // namespace
