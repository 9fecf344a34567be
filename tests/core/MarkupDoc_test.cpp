#include "lyrics/markup/EntityTable.h"
#include "lyrics/markup/MarkupDoc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// Tag names of the children of elem, in link order, checking the links on the way.
std::vector<std::string> Children(const MarkupDoc& doc, int elem) {
    std::vector<std::string> names;
    int first = doc.Element(elem).firstChild;
    int prev = 0;
    for (int c = first; c != 0; c = doc.Element(c).next) {
        EXPECT_EQ(doc.Element(c).parent, elem);
        if (prev != 0) {
            EXPECT_EQ(doc.Element(c).prev, prev);
        }
        prev = c;
        names.push_back(doc.TagName(c));
        if (names.size() > 1000)
            break;
    }
    if (first != 0) {
        EXPECT_EQ(doc.Element(first).prev, prev) << "first child's prev is the last child";
    }
    return names;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// --- Tree building -------------------------------------------------------------------------

TEST(MarkupDocTree, ResultItemWithUnclosedImageGivesDivsInOrder) {
    MarkupDoc doc;
    doc.Load("<li><div class=\"a\"><a href=\"/1\">One</a></div>"
             "<div class=\"b\"><a href=\"/2\"><img src=\"x.jpg\">Two</a></div>"
             "<div class=\"c\"><a href=\"/3\">Three</a></div></li>");
    std::vector<std::string> classes;
    while (doc.FindChild("div")) {
        ASSERT_TRUE(doc.Enter());
        classes.push_back(doc.Attribute(doc.Pos(), "class"));
        ASSERT_TRUE(doc.FindChild("a"));
        EXPECT_EQ(doc.TagName(doc.ChildPos()), "a");
        ASSERT_TRUE(doc.Leave());
    }
    EXPECT_EQ(classes, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(MarkupDocTree, UpperCaseClosingAnchorLeavesAnchorUnended) {
    MarkupDoc doc;
    EXPECT_FALSE(doc.Load("<div><a href=\"/x\">Title</A></div>"));
    ASSERT_TRUE(doc.FindChild("a"));
    int a = doc.ChildPos();
    EXPECT_TRUE(doc.Element(a).unended);
    EXPECT_EQ(doc.Content(a), "");
    EXPECT_EQ(doc.Attribute(a, "href"), "/x");
    EXPECT_NE(doc.Result().find("<lone_end_tag tagname=\"A\" offset=\"23\"/>"), std::string::npos)
        << doc.Result();
    EXPECT_NE(doc.Result().find("<unended_start_tag tagname=\"a\" offset=\"5\" offset2=\"27\"/>"),
              std::string::npos)
        << doc.Result();
    // The lone end tag marks the document and the element that was open around it.
    EXPECT_TRUE(doc.Element(0).documentError);
    EXPECT_TRUE(doc.Element(doc.Element(0).firstChild).errorInside);
    EXPECT_EQ(doc.Content(doc.Element(0).firstChild), "<a href=\"/x\">Title</A>");
}

TEST(MarkupDocTree, OuterEndTagClosesInnerElementsAndLiftsTheirChildren) {
    MarkupDoc doc;
    // a and c never end: b and c follow a, d follows c, all under r.
    EXPECT_TRUE(doc.Load("<r><a>x<b></b><c>y<d/></r>"));
    int r = doc.Element(0).firstChild;
    EXPECT_EQ(Children(doc, r), (std::vector<std::string>{"a", "b", "c", "d"}));
    for (int c = doc.Element(r).firstChild; c != 0; c = doc.Element(c).next) {
        EXPECT_EQ(doc.Element(c).level, 2) << doc.TagName(c);
        EXPECT_EQ(doc.Element(c).isFirstChild, doc.TagName(c) == "a");
        EXPECT_EQ(doc.Element(c).unended, doc.TagName(c) == "a" || doc.TagName(c) == "c");
    }
    EXPECT_EQ(doc.Element(r).length, 26);
    EXPECT_EQ(doc.Content(r), "<a>x<b></b><c>y<d/>");
    EXPECT_EQ(CountOf(doc.Result(), "unended_start_tag"), 2);
    // Innermost first.
    EXPECT_LT(doc.Result().find("tagname=\"c\""), doc.Result().find("tagname=\"a\""));
}

TEST(MarkupDocTree, UnendedAtEndOfTextBecomeTopLevelSiblings) {
    MarkupDoc doc;
    EXPECT_FALSE(doc.Load("<p><br><i>t"));
    EXPECT_EQ(Children(doc, 0), (std::vector<std::string>{"p", "br", "i"}));
    EXPECT_NE(doc.Result().find("offset2=\"11\""), std::string::npos);
    EXPECT_NE(doc.Result().find("root_has_sibling"), std::string::npos);
}

TEST(MarkupDocTree, ErrorInsideMovesToParentOfUnendedElement) {
    MarkupDoc doc;
    doc.Load("<r><a></x><b></b></r>");
    int r = doc.Element(0).firstChild;
    int a = doc.Element(r).firstChild;
    EXPECT_TRUE(doc.Element(a).unended);
    EXPECT_FALSE(doc.Element(a).errorInside);
    EXPECT_TRUE(doc.Element(r).errorInside);
    EXPECT_FALSE(doc.Element(doc.Element(a).next).errorInside);
}

TEST(MarkupDocTree, WellFormedness) {
    struct Case {
        const char* text;
        bool wellFormed;
        const char* diagnostic; // expected in Result(), "" for none
    } cases[] = {
        {"<a><b/>text &amp; more</a>", true, ""},
        {"<?xml version=\"1.0\"?><!-- c --><a/>", true, ""},
        {"<a/><b/>", false, "<root_has_sibling tagname=\"b\" offset=\"4\"/>"},
        {"just text", false, "<no_root_element/>"},
        {"", false, ""},
        {"<a></b></a>", false, "lone_end_tag"},
        {"<a>< b></a>", false, "<first_tag_syntax offset=\"3\"/>"},
        {"<a><!x></a>", false, "<exclamation_tag_syntax offset=\"3\"/>"},
        {"<a><!-x></a>", false, "<comment_tag_syntax offset=\"3\"/>"},
        {"<a><![x></a>", false, "<cdata_section_syntax offset=\"3\"/>"},
        // A repaired unended element alone does not make the text ill-formed.
        {"<a><br></a>", true, "unended_start_tag"},
    };
    for (const auto& c : cases) {
        MarkupDoc doc;
        EXPECT_EQ(doc.Load(c.text), c.wellFormed) << c.text;
        if (*c.diagnostic) {
            EXPECT_NE(doc.Result().find(c.diagnostic), std::string::npos)
                << c.text << " -> " << doc.Result();
        } else {
            EXPECT_EQ(doc.Result(), "") << c.text;
        }
    }
}

TEST(MarkupDocTree, TwoTopLevelElementsCanStillBeNavigated) {
    MarkupDoc doc;
    EXPECT_FALSE(doc.Load("<li><div>1</div></li><li><div>2</div></li>"));
    ASSERT_TRUE(doc.FindChild("div"));
    EXPECT_EQ(doc.Content(doc.ChildPos()), "1");
    EXPECT_FALSE(doc.FindChild("div"));
}

TEST(MarkupDocTree, EmptyElementForms) {
    struct Case {
        const char* text;
        const char* content; // of the root
        const char* href;
    } cases[] = {
        {"<r><a href=/x/y/>t</a></r>", "t", "/x/y/"}, // "/" ends an unquoted value: not empty
        {"<r><a href=/x />t</a></r>", "", "/x"},
        {"<r><a href=\"/x\"/>t</a></r>", "", "/x"},
        {"<r><a href/>t</a></r>", "", ""},
        {"<r><a title='a>b' href=\"q\">t</a></r>", "t", "q"},
    };
    for (const auto& c : cases) {
        MarkupDoc doc;
        doc.Load(c.text);
        ASSERT_TRUE(doc.FindChild("a")) << c.text;
        EXPECT_EQ(doc.Content(doc.ChildPos()), c.content) << c.text;
        EXPECT_EQ(doc.Attribute(doc.ChildPos(), "href"), c.href) << c.text;
    }
}

// --- Node scanner ----------------------------------------------------------------------------

TEST(MarkupDocScanner, NonElementNodesHideTheirContent) {
    struct Case {
        const char* text;
        std::vector<std::string> children; // of the root
    } cases[] = {
        {"<r><!-- <a> --><b/></r>", {"b"}},
        {"<r><![CDATA[<a></a>]]><b/></r>", {"b"}},
        {"<r><?pi <a> ?><b/></r>", {"b"}},
        {"<r><!DOCTYPE x [<!ENTITY e \"<a>\"><!ELEMENT r ANY>]><b/></r>", {"b"}},
        {"<r><!DOCTYPE x SYSTEM \"a>b\"><b/></r>", {"b"}},
        {"<r>a < b > c<d/></r>", {"d"}},
        {"<r>\x81<a/><b/></r>", {"b"}},     // a lead byte takes the "<" after it
        {"<r><a t=\"\x81\"/><b/></r>", {}}, // ... and a quote, so the tag runs to the end
        {"<r><\xB8\xE8/><b/></r>", {"\xB8\xE8", "b"}}, // GBK tag names
    };
    for (const auto& c : cases) {
        MarkupDoc doc;
        doc.Load(c.text);
        EXPECT_EQ(Children(doc, doc.Element(0).firstChild), c.children) << c.text;
    }
}

TEST(MarkupDocScanner, UnterminatedNodesReportTheirType) {
    struct Case {
        const char* text;
        const char* type;
        int offset;
    } cases[] = {
        {"<a>x<", "tag", 4},
        {"<a><b c=\"d>", "start_tag", 3},
        {"<a><b c=", "start_tag", 3},
        {"<a></a", "end_tag", 3},
        {"<a><!-- x", "comment", 3},
        {"<a><![CDATA[ x ]>", "cdata_section", 3},
        {"<a><?pi x", "processing_instruction", 3},
        {"<a><!DOCTYPE x [<!ENTITY e \"v\"", "document_type", 3},
        {"<a><!", "tag", 3},
        {"<a>< b", "tag", 3},
    };
    for (const auto& c : cases) {
        MarkupDoc doc;
        EXPECT_FALSE(doc.Load(c.text)) << c.text;
        std::string expected = "<unterminated_tag_syntax type=\""s + c.type + "\" offset=\"" +
                               std::to_string(c.offset) + "\"/>";
        EXPECT_NE(doc.Result().find(expected), std::string::npos)
            << c.text << " -> " << doc.Result();
        EXPECT_TRUE(doc.Element(0).documentError) << c.text;
    }
}

TEST(MarkupDocScanner, DoctypeWithForeignDeclarationIsAnError) {
    MarkupDoc doc;
    doc.Load("<!DOCTYPE x [<!-- c -->]><a/>");
    EXPECT_NE(doc.Result().find("doctype_tag_syntax"), std::string::npos) << doc.Result();
    EXPECT_TRUE(doc.Element(0).documentError);
}

TEST(MarkupDocScanner, HostileInputNeverBreaksTheParse) {
    std::vector<std::string> inputs = {
        "<",
        "<a",
        "</",
        "<a>\x81",
        "<a b=\"\x81",
        "<a>\xFE<",
        "<a>\0<b>\0</b>\0</a>"s,
        "\0\0\0"s,
        "<<<<>>>>",
        "<a ? = / ' \" >",
        "<a =x =\"y\" ==>",
        "<!DOCTYPE",
        "<!DOCTYPE <",
        "<![CDATA[",
        "&&&;;;",
        std::string(1000, '\x81'),
    };
    for (const auto& text : inputs) {
        MarkupDoc doc;
        doc.Load(text);
        while (doc.FindChild("")) {
            doc.Attribute(doc.ChildPos(), "b");
            doc.Content(doc.ChildPos());
            if (!doc.Enter())
                break;
        }
        while (doc.Leave()) {
        }
        EXPECT_LE(doc.Result().size(), MarkupDoc::kResultCap + 200) << text;
    }
}

TEST(MarkupDocScanner, NulBytesAreOrdinaryText) {
    MarkupDoc doc;
    EXPECT_TRUE(doc.Load("<a>x\0y<b/></a>"s));
    ASSERT_TRUE(doc.FindChild("b"));
    EXPECT_EQ(doc.Content(doc.Pos()), "x\0y<b/>"s);
}

TEST(MarkupDocScanner, HundredThousandNestedUnclosedTags) {
    const int n = 100000;
    std::string text = "<root>";
    for (int k = 0; k < n; ++k)
        text += "<a>";
    text += "</root>";
    MarkupDoc doc;
    EXPECT_TRUE(doc.Load(text));
    EXPECT_EQ(doc.ElementCount(), n + 2);
    int root = doc.Element(0).firstChild;
    EXPECT_EQ(doc.Content(root), text.substr(6, 3 * n));
    int count = 0;
    for (int c = doc.Element(root).firstChild; c != 0; c = doc.Element(c).next) {
        ++count;
        ASSERT_EQ(doc.Element(c).parent, root);
        ASSERT_TRUE(doc.Element(c).unended);
    }
    EXPECT_EQ(count, n);
    EXPECT_GE(doc.Result().size(), MarkupDoc::kResultCap);
    EXPECT_LT(doc.Result().size(), MarkupDoc::kResultCap + 200);

    // The same depth left open to the end of the text, with stray end tags in between.
    std::string open(3 * n, ' ');
    for (int k = 0; k < n; ++k)
        open.replace(3 * k, 3, k % 2 ? "<b>" : "<a>");
    for (int k = 0; k < 1000; ++k)
        open += "</x>";
    open += "</a>";
    doc.Load(open);
    EXPECT_EQ(doc.ElementCount(), n + 1);
    // "</a>" matched the innermost a, second from the top: the b inside it ends unended but
    // stays its child; everything outside it is lifted to the top level at the end.
    int last = doc.Element(doc.Element(0).firstChild).prev;
    EXPECT_EQ(doc.TagName(last), "a");
    EXPECT_FALSE(doc.Element(last).unended);
    EXPECT_EQ(Children(doc, last), (std::vector<std::string>{"b"}));
    EXPECT_EQ(doc.Element(0).next, 0);
}

TEST(MarkupDocScanner, SeventyThousandSiblingsThenASmallDocument) {
    MarkupDoc doc;
    const int n = 70000;
    std::string text = "<r>";
    for (int k = 0; k < n; ++k)
        text += "<b/>";
    text += "</r>";
    EXPECT_TRUE(doc.Load(text));
    EXPECT_EQ(doc.ElementCount(), n + 2);
    MarkupDoc::ElementInfo last = doc.Element(n + 1);
    EXPECT_EQ(last.start, 3 + 4 * (n - 1));
    EXPECT_EQ(last.parent, 1);
    EXPECT_EQ(doc.Element(doc.Element(1).firstChild).prev, n + 1);
    // A later small load starts afresh.
    EXPECT_TRUE(doc.Load("<x><y/></x>"));
    EXPECT_EQ(doc.ElementCount(), 3);
    EXPECT_EQ(Children(doc, 1), (std::vector<std::string>{"y"}));
}

TEST(MarkupDocScanner, DiagnosticsStopAtTheCap) {
    std::string text = "<a>";
    for (int k = 0; k < 500; ++k)
        text += "</b>";
    text += "</a>";
    MarkupDoc doc;
    doc.Load(text);
    EXPECT_GE(doc.Result().size(), MarkupDoc::kResultCap);
    EXPECT_LT(doc.Result().size(), MarkupDoc::kResultCap + 60);
    EXPECT_EQ(doc.Result().rfind("<lone_end_tag", 0), 0u);
    // A long tag name is cut in the diagnostic, never in the middle of a character.
    std::string name(150, 'n');
    name[99] = '\xB0';
    name[100] = '\xA1';
    doc.Load("<a></" + name + "></a>");
    EXPECT_NE(doc.Result().find("tagname=\"" + name.substr(0, 99) + "\""), std::string::npos)
        << doc.Result();
}

// --- Navigation ------------------------------------------------------------------------------

TEST(MarkupDocNavigation, LeaveAtTopLevelChangesNothing) {
    MarkupDoc doc;
    doc.Load("<li><div>x</div></li>");
    ASSERT_TRUE(doc.FindChild("div"));
    int pos = doc.Pos(), child = doc.ChildPos();
    EXPECT_EQ(doc.ParentPos(), 0);
    EXPECT_FALSE(doc.Leave());
    EXPECT_EQ(doc.Pos(), pos);
    EXPECT_EQ(doc.ChildPos(), child);
    EXPECT_EQ(doc.NodeType(), MarkupDoc::kNodeElement);
}

TEST(MarkupDocNavigation, EnterWithoutCurrentChildMakesMainPositionZero) {
    MarkupDoc doc;
    doc.Load("<li><div>x</div></li>");
    EXPECT_FALSE(doc.Enter()) << "nothing found yet";
    ASSERT_TRUE(doc.FindChild("div"));
    ASSERT_TRUE(doc.Enter());
    ASSERT_TRUE(doc.Enter()) << "div has no current child";
    EXPECT_EQ(doc.Pos(), 0);
    EXPECT_EQ(doc.NodeType(), MarkupDoc::kNodeNone);
    EXPECT_EQ(doc.Attribute(doc.Pos(), "class"), "");
    EXPECT_FALSE(doc.Enter());
    ASSERT_TRUE(doc.Leave());
    EXPECT_EQ(doc.TagName(doc.Pos()), "div");
    ASSERT_TRUE(doc.Leave());
    EXPECT_EQ(doc.TagName(doc.Pos()), "li");
    EXPECT_EQ(doc.TagName(doc.ChildPos()), "div");
}

TEST(MarkupDocNavigation, FindChildFailsWithoutMoving) {
    MarkupDoc doc;
    EXPECT_FALSE(doc.FindChild("a")) << "nothing loaded";
    doc.Load("<r><a/><b/><a/></r>");
    ASSERT_TRUE(doc.FindChild("b"));
    int b = doc.ChildPos();
    EXPECT_FALSE(doc.FindChild("b"));
    EXPECT_EQ(doc.ChildPos(), b);
    ASSERT_TRUE(doc.FindChild("a")) << "search continues after b";
    EXPECT_GT(doc.ChildPos(), b);
    EXPECT_FALSE(doc.FindChild("A")) << "names compare with case";
    doc.SetDocFlags(MarkupDoc::kReadFile);
    EXPECT_FALSE(doc.FindChild(""));
    EXPECT_EQ(doc.Content(1), "");
}

TEST(MarkupDocNavigation, IgnoreCaseFlag) {
    MarkupDoc doc;
    doc.SetDocFlags(MarkupDoc::kIgnoreCase);
    EXPECT_TRUE(doc.Load("<DIV><a HREF=\"/x\">T</A></div>"));
    ASSERT_TRUE(doc.FindChild("A"));
    EXPECT_EQ(doc.Content(doc.ChildPos()), "T");
    EXPECT_EQ(doc.Attribute(doc.ChildPos(), "href"), "/x");
}

TEST(MarkupDocNavigation, SavedPositionsAndNullLoad) {
    MarkupDoc doc;
    doc.Load("<r><a/><b/></r>");
    ASSERT_TRUE(doc.FindChild("a"));
    doc.SavePos("first");
    ASSERT_TRUE(doc.FindChild("b"));
    ASSERT_TRUE(doc.RestorePos("first"));
    EXPECT_EQ(doc.TagName(doc.ChildPos()), "a");
    doc.Load("<r/>");
    EXPECT_FALSE(doc.RestorePos("first"));
    EXPECT_FALSE(doc.Load(static_cast<const char*>(nullptr)));
    EXPECT_EQ(doc.ElementCount(), 0);
    EXPECT_FALSE(doc.FindChild(""));
    EXPECT_FALSE(doc.Leave());
    EXPECT_EQ(doc.Content(0), "");
}

// --- Attributes, content and entities --------------------------------------------------------

TEST(MarkupDocAttributes, ContentIsRawAndAttributesAreDecoded) {
    MarkupDoc doc;
    doc.Load("<r><a href=\"/lrc?id=1&amp;t=2\">Rock &amp; Roll</a></r>");
    ASSERT_TRUE(doc.FindChild("a"));
    EXPECT_EQ(doc.Content(doc.ChildPos()), "Rock &amp; Roll");
    EXPECT_EQ(doc.Attribute(doc.ChildPos(), "href"), "/lrc?id=1&t=2");
    EXPECT_EQ(doc.Attribute(doc.ChildPos(), "missing"), "");
}

TEST(MarkupDocAttributes, AttributeSyntax) {
    struct Case {
        const char* tag;
        const char* name;
        const char* value;
    } cases[] = {
        {"<a x=1 y=2>", "y", "2"},
        {"<a x = \"1\" y = '2'>", "y", "2"},
        {"<a x='say \"hi\"'>", "x", "say \"hi\""},
        {"<a href=http://h/p?q=1>", "href", "http://h/p?q=1"},
        {"<a checked y=2>", "checked", ""},
        {"<a checked y=2>", "y", "2"},
        {"<a x=1 x=2>", "x", "1"},
        {"<a data-x=\"v\">", "data-x", "v"},
        {"<a t=\"\xB8\xE8\">", "t", "\xB8\xE8"},
        {"<a xy=1>", "x", ""},
        {"<a x=1>", "X", ""},
    };
    for (const auto& c : cases) {
        MarkupDoc doc;
        doc.Load(std::string("<r>") + c.tag + "</a></r>");
        ASSERT_TRUE(doc.FindChild("a")) << c.tag;
        EXPECT_EQ(doc.Attribute(doc.ChildPos(), c.name), c.value) << c.tag << " " << c.name;
    }
}

TEST(MarkupDocAttributes, EntityDecoding) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"&#65;", "A"},
        {"&#x41;", "A"},
        {"&#X41;", "A"},
        {"&#0065;", "A"},
        {"&amp;&lt;&gt;&quot;&apos;", "&<>\"'"},
        {"&AMP;", "&"}, // names fold to lower case
        {"&#20013;", "\xD6\xD0"},
        {"&mdash;", "\xA1\xAA"},
        {"&nosuch;", "&nosuch;"},
        {"&abcdefghij;", "&abcdefghij;"}, // no semicolon within 9 bytes
        {"&thetasym", "&thetasym"},
        {"&#0;", "&#0;"},
        {"&#x110000;", "&#x110000;"},
        {"&#;", "&#;"},
        {"&#x;", "&#x;"},
        {"&#12a;", "&#12a;"},
        {"&;", "&;"},
        {"&\xB0\xA1;", "&\xB0\xA1;"},
        {"&Oslash;", "\x81\x30\x89\x31"}, // 216 in its four-byte form
        {"&eacute;", "\x81\x30\x87\x37"}, // the capitalised twin (201) is found
        {"\x81&amp;", "\x81&amp;"},       // the "&" is the second byte of a pair
        {"a&amp;&amp;b&", "a&&b&"},
        {"&&amp;", "&&"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MarkupDoc::DecodeText(c.in), c.out) << c.in;
}

TEST(MarkupDocAttributes, WhitespaceFlags) {
    EXPECT_EQ(MarkupDoc::DecodeText("  a \t b  "), "  a \t b  ");
    EXPECT_EQ(MarkupDoc::DecodeText("  a \t b  ", MarkupDoc::kTrimWhitespace), "a \t b");
    EXPECT_EQ(MarkupDoc::DecodeText("  a \t b  ", MarkupDoc::kCollapseWhitespace), "a b");
    EXPECT_EQ(MarkupDoc::DecodeText(" \n ", MarkupDoc::kCollapseWhitespace), "");
}

TEST(EntityTable, HoldsHtml4NamesPlusApos) {
    struct Case {
        const char* name;
        int codePoint;
    } cases[] = {
        {"amp", 38},     {"apos", 39},    {"nbsp", 160},     {"oslash", 216}, {"yuml", 376},
        {"larr", 8656},  {"prime", 8243}, {"thetasym", 977}, {"euro", 8364},  {"diams", 9830},
        {"sigmaf", 962}, {"nosuch", 0},   {"", 0},           {"Amp", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntityTable::Lookup(c.name), c.codePoint) << c.name;
}

} // namespace
