#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The lenient HTML/XML parser the lyrics search reads result pages with. The document is kept
// as one byte string (ANSI/GBK) and indexed by a table of element records holding offsets and
// links; no element text is copied until asked for. Parsing never fails: missing or stray end
// tags and malformed nodes are repaired and reported as diagnostics in Result().
//
// What it accepts that a strict XML parser would not:
// - Start tags without end tags. An element still open when an outer element's end tag (or the
//   end of the text) arrives is closed as "unended": it becomes empty and its children move up
//   to follow it as siblings. This alone does not make the document ill-formed.
// - End tags matching no open element ("lone" end tags) are ignored.
// - Anything unparseable after "<" becomes an error node reaching to the next ">"; an
//   unterminated tag, comment, CDATA section, processing instruction or document type swallows
//   the rest of the text. Text between nodes is never checked.
// - Attribute values may be unquoted (ending at white space or ">", so they may hold "/");
//   attributes without a value, repeated attributes and stray quoted strings are accepted.
// - More than one top-level element, or none, is accepted for navigation.
// - A lead byte (0x81-0xFE) always takes the byte after it, so the second byte of a
//   double-byte character is never read as markup, even when it is "<", ">" or a quote of an
//   invalid pair (a four-byte character is two such pairs). A lead byte as the last byte stands
//   alone.
// - Entity references with no semicolon within 9 bytes, unknown names, code point 0 and code
//   points without an ANSI form are left in the text as they are.
// Limits: text beyond 2^31-2 bytes is ignored; the nesting level saturates at 65,535; a tag name
// quoted in a diagnostic is cut to 100 bytes; levels of descendants of lifted children are not
// renumbered. Names passed to FindChild are plain tag names (no path syntax); an empty name
// matches any element.
//
// One thread at a time; the tables it reads are constant.
class MarkupDoc {
public:
    // docFlags bits.
    static constexpr int kIgnoreCase = 0x8; // tag and attribute names
    static constexpr int kWriteFile = 0x10; // file modes: child navigation fails
    static constexpr int kReadFile = 0x20;
    static constexpr int kTrimWhitespace = 0x100;     // decoded text loses leading/trailing blanks
    static constexpr int kCollapseWhitespace = 0x200; // ... and inner runs become one space

    static constexpr int kNodeNone = 0;
    static constexpr int kNodeElement = 1;

    static constexpr int kPageRecords = 65536;
    static constexpr size_t kResultCap = 1000;
    // Names quoted in a diagnostic are cut to this many bytes (never inside a character).
    static constexpr size_t kMaxQuotedName = 100;

    // A copy of one element record, for inspection.
    struct ElementInfo {
        int start = 0;
        int length = 0;
        int startTagLength = 0;
        int endTagLength = 0;
        int level = 0;
        int parent = 0;
        int firstChild = 0;
        int next = 0;
        int prev = 0;
        bool isFirstChild = false;
        bool unended = false;
        bool errorInside = false;
        bool documentError = false;
    };

    MarkupDoc() = default;
    MarkupDoc(const MarkupDoc&) = delete;
    MarkupDoc& operator=(const MarkupDoc&) = delete;

    // Replaces the document with a copy of text and parses it; positions return to 0. Returns
    // whether the document is well formed. A null text empties the document and frees the table.
    bool Load(const char* text);
    bool Load(std::string_view text);

    // Next child of the main position named name, after the current child.
    bool FindChild(std::string_view name);
    // The current child becomes the main position.
    bool Enter();
    // The parent becomes the main position.
    bool Leave();

    // Decoded value of an attribute of elem; empty when absent.
    std::string Attribute(int elem, std::string_view name) const;
    // Raw bytes between the start tag and the end tag of elem; empty for an empty or unended
    // element and for element 0.
    std::string Content(int elem) const;
    // Tag name of elem's start tag (up to white space, "/", "=", ">" or "?").
    std::string TagName(int elem) const;

    // Named saved positions; emptied by every Load.
    void SavePos(std::string_view name);
    bool RestorePos(std::string_view name);

    int Pos() const { return pos_; }
    int ParentPos() const { return posParent_; }
    int ChildPos() const { return posChild_; }
    int NodeType() const { return nodeType_; }
    int NodeOffset() const { return nodeOffset_; }
    int NodeLength() const { return nodeLength_; }
    int DocFlags() const { return docFlags_; }
    void SetDocFlags(int flags) { docFlags_ = flags; }
    const std::string& Doc() const { return doc_; }
    // Diagnostics: a run of empty elements such as <lone_end_tag tagname="A" offset="9"/>.
    const std::string& Result() const { return result_; }
    // Records in use, record 0 (the document) included; 0 before the first load.
    int ElementCount() const { return nextFree_; }
    ElementInfo Element(int elem) const;

    // Entity decoding as applied to attribute values.
    static std::string DecodeText(std::string_view text, int docFlags = 0);

private:
    struct ElemRecord {
        std::int32_t start;
        std::int32_t length;
        std::uint32_t tagLengths; // start tag in the low 22 bits, end tag in the high 10
        std::uint32_t flags;      // low 16 bits: level; above: the kFlag bits
        std::int32_t parent;
        std::int32_t firstChild;
        std::int32_t next;
        std::int32_t prev; // of the first child: the last child
    };
    // An open element on the stack of the parse, with its name in the document.
    struct OpenName {
        int elem;
        std::uint32_t nameOffset;
        std::uint32_t nameLength;
        int prevSame; // next entry outwards with the same name, while the names are indexed
    };
    struct SavedPos {
        int posParent, pos, posChild, nodeType, nodeOffset, nodeLength;
    };
    class Builder;

    ElemRecord& Elem(int i) { return pages_[i >> 16][i & 0xFFFF]; }
    const ElemRecord& Elem(int i) const { return pages_[i >> 16][i & 0xFFFF]; }
    bool Valid(int elem) const { return elem >= 0 && elem < nextFree_; }
    std::uint32_t StartTagLength(int elem) const;
    std::uint32_t EndTagLength(int elem) const;
    void SetTagLengths(int elem, std::uint32_t startTag, std::uint32_t endTag);
    void Reserve(int records);
    int NewRecord();
    void SetNode(int elem);
    void AddDiagnostic(std::string_view keyword, std::string_view textName, std::string_view text,
                       std::string_view numberName, long long number, long long offset2 = -1);
    std::string_view TagNameView(int elem) const;
    bool NamesEqual(std::string_view a, std::string_view b) const;

    std::string doc_;
    std::string result_;
    int posParent_ = 0;
    int pos_ = 0;
    int posChild_ = 0;
    int nextFree_ = 0;
    int nodeType_ = kNodeNone;
    int nodeOffset_ = 0;
    int nodeLength_ = 0;
    int docFlags_ = 0;
    std::map<std::string, SavedPos, std::less<>> savedPositions_;
    // Pages of kPageRecords records; only the last one may be shorter.
    std::vector<std::unique_ptr<ElemRecord[]>> pages_;
    // The parse's open-name stack; kept between loads so its room is allocated once.
    std::vector<OpenName> openNames_;
    // Tag lengths too long for their bits in the record, which then holds all ones.
    std::unordered_map<int, std::uint32_t> longStartTags_;
    std::unordered_map<int, std::uint32_t> longEndTags_;
    int capacity_ = 0;
};
