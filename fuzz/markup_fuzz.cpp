// Loads any bytes into a MarkupDoc and walks the whole tree through the navigation calls the
// lyrics search uses, checking that every element record stays inside the text.
#include "lyrics/markup/MarkupDoc.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void Visit(const MarkupDoc& doc, int elem) {
    MarkupDoc::ElementInfo e = doc.Element(elem);
    auto size = static_cast<long long>(doc.Doc().size());
    Check(e.start >= 0 && e.startTagLength >= 2 && e.length >= e.startTagLength);
    Check(e.start + static_cast<long long>(e.length) <= size);
    Check(e.endTagLength == 0 || e.length >= e.startTagLength + e.endTagLength);
    Check(e.parent == doc.Pos());
    Check(doc.Content(elem).size() <= static_cast<size_t>(e.length));
    doc.Attribute(elem, "href");
    doc.Attribute(elem, "class");
    doc.TagName(elem);
}

// Elements below elem by their links; the links must end.
long long Descendants(const MarkupDoc& doc, int elem) {
    long long count = 0;
    std::vector<int> stack{elem};
    while (!stack.empty()) {
        int e = stack.back();
        stack.pop_back();
        for (int c = doc.Element(e).firstChild; c != 0; c = doc.Element(c).next) {
            Check(++count < doc.ElementCount());
            stack.push_back(c);
        }
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    MarkupDoc doc;
    if (size > 0 && (data[0] & 1))
        doc.SetDocFlags(MarkupDoc::kIgnoreCase);
    doc.Load(text);
    // The last diagnostic may start just under the cap and quote a name whose bytes are each
    // escaped to up to six characters ("&quot;").
    Check(doc.Result().size() < MarkupDoc::kResultCap + 6 * MarkupDoc::kMaxQuotedName + 200);

    // Depth-first over every element, as the scraper walks an item.
    int depth = 0;
    long long visited = 0;
    for (;;) {
        if (doc.FindChild("")) {
            Visit(doc, doc.ChildPos());
            ++visited;
            Check(doc.Enter());
            ++depth;
        } else {
            if (depth == 0)
                break;
            Check(doc.Leave());
            --depth;
        }
    }
    // Navigation starts at the root element's children, so it sees exactly its descendants.
    int root = doc.Element(0).firstChild;
    Check(visited == (root ? Descendants(doc, root) : 0));
    Check(Descendants(doc, 0) == doc.ElementCount() - 1);

    // Named searches from the root, the way the scraper looks for its div and a elements.
    doc.Load(text);
    while (doc.FindChild("div")) {
        Check(doc.Enter());
        doc.Attribute(doc.Pos(), "class");
        if (doc.FindChild("a")) {
            doc.Content(doc.ChildPos());
            doc.Attribute(doc.ChildPos(), "href");
        }
        Check(doc.Leave());
    }
    MarkupDoc::DecodeText(text, MarkupDoc::kCollapseWhitespace);
    MarkupDoc::DecodeText(text);
    return 0;
}
