#include "lyrics/markup/MarkupDoc.h"

#include "lyrics/markup/EntityTable.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
constexpr size_t kMaxDocLength = 0x7FFFFFFE;
// End tags that miss the innermost open element search the open names outwards. Every node adds
// this much to a budget that the searches spend; when a search would overdraw it, the open names
// are indexed instead, so a page of unclosed tags followed by stray end tags stays linear.
constexpr size_t kSearchAllowancePerNode = 8;
constexpr size_t kMaxEntityScan = 9;

constexpr std::uint32_t kStartTagBits = 0x3FFFFF; // all ones: the length is kept aside
constexpr std::uint32_t kEndTagBits = 0x3FF;
constexpr std::uint32_t kLevelMask = 0xFFFF;
constexpr std::uint32_t kFlagFirstChild = 1u << 16;
constexpr std::uint32_t kFlagUnended = 1u << 17;
constexpr std::uint32_t kFlagErrorInside = 1u << 18;
constexpr std::uint32_t kFlagDocError = 1u << 19;

enum : unsigned char {
    kSpace = 1,        // tab, LF, CR, space
    kLead = 2,         // GBK lead byte
    kTagNameStop = 4,  // white space, "/", ">": ends the name of a start or end tag
    kNameStop = 8,     // white space, "/", "=", ">", "?": ends a name token in a tag
    kValueStop = 16,   // white space, ">": ends an unquoted value
    kStartTagChar = 32 // may follow "<" in a start tag
};

constexpr std::array<unsigned char, 256> MakeClasses() {
    std::array<unsigned char, 256> t{};
    for (int c : {'\t', '\n', '\r', ' '})
        t[c] |= kSpace | kTagNameStop | kNameStop | kValueStop;
    for (int c = 0x81; c <= 0xFE; ++c)
        t[c] |= kLead;
    t['/'] |= kTagNameStop | kNameStop;
    t['>'] |= kTagNameStop | kNameStop | kValueStop;
    t['='] |= kNameStop;
    t['?'] |= kNameStop;
    t[':'] |= kStartTagChar;
    t['_'] |= kStartTagChar;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] |= kStartTagChar;
    for (int c = 0x61; c <= 0xFF; ++c)
        t[c] |= kStartTagChar;
    return t;
}
constexpr std::array<unsigned char, 256> kClass = MakeClasses();

inline unsigned char Byte(char c) {
    return static_cast<unsigned char>(c);
}
inline bool Is(char c, unsigned char mask) {
    return kClass[Byte(c)] & mask;
}

// Offset of the character after the one at i: a lead byte takes the byte after it.
inline size_t Step(const char* d, size_t i, size_t n) {
    return Is(d[i], kLead) && i + 1 < n ? i + 2 : i + 1;
}

inline size_t SkipUntil(const char* d, size_t j, size_t n, unsigned char stopMask) {
    while (j < n && !Is(d[j], stopMask))
        j = Step(d, j, n);
    return j;
}

inline size_t SkipSpace(const char* d, size_t j, size_t n) {
    while (j < n && Is(d[j], kSpace))
        ++j;
    return j;
}

// First ASCII byte c at or after from that starts a character, or n. from must start one. A hit
// is the second byte of a pair when an odd run of lead bytes ends right before it; the run
// cannot reach back past from, so every byte is looked at a bounded number of times.
size_t FindChar(const char* d, size_t from, size_t n, char c) {
    size_t sync = from;
    while (from < n) {
        const void* hit = std::memchr(d + from, c, n - from);
        if (!hit)
            return n;
        size_t p = static_cast<const char*>(hit) - d;
        size_t q = p;
        while (q > sync && Is(d[q - 1], kLead))
            --q;
        if (((p - q) & 1) == 0)
            return p;
        sync = from = p + 1;
    }
    return n;
}

// Start of the first occurrence of the ASCII text seq at a character start, or n.
size_t FindSeq(const char* d, size_t from, size_t n, std::string_view seq) {
    for (;;) {
        size_t p = FindChar(d, from, n, seq[0]);
        if (p >= n)
            return n;
        if (n - p >= seq.size() && std::memcmp(d + p, seq.data(), seq.size()) == 0)
            return p;
        from = p + 1;
    }
}

// Offset of the next ">" from j outside quoted strings, or n.
size_t SkipQuotedToGt(const char* d, size_t j, size_t n) {
    while (j < n) {
        char c = d[j];
        if (c == '>')
            return j;
        if (c == '"' || c == '\'') {
            size_t q = FindChar(d, j + 1, n, c);
            if (q >= n)
                return n;
            j = q + 1;
            continue;
        }
        j = Step(d, j, n);
    }
    return n;
}

// Walks the attributes of a start tag from j (just after its name) to the closing ">", calling
// onAttr(nameBegin, nameEnd, valueBegin, valueEnd) for each named attribute (an absent value is
// empty); a true result stops the walk there. Returns the offset after the closing ">" and sets
// empty when the tag ends with "/>"; kNone when the text ends first. The parser and the
// attribute reader share this, so both agree on where values begin and end.
template <typename OnAttr>
size_t WalkTagBody(const char* d, size_t n, size_t j, bool& empty, OnAttr&& onAttr) {
    empty = false;
    while (j < n) {
        char c = d[j];
        if (c == '>')
            return j + 1;
        if (c == '/') {
            if (j + 1 < n && d[j + 1] == '>') {
                empty = true;
                return j + 2;
            }
            ++j;
            continue;
        }
        if (Is(c, kSpace) || c == '?') {
            ++j;
            continue;
        }
        if (c == '"' || c == '\'') { // a quoted string where a name belongs: skipped whole
            size_t q = FindChar(d, j + 1, n, c);
            if (q >= n)
                return kNone;
            j = q + 1;
            continue;
        }
        size_t nameBegin = j;
        if (c != '=')
            j = SkipUntil(d, j, n, kNameStop);
        size_t nameEnd = j;
        j = SkipSpace(d, j, n);
        size_t valueBegin = j, valueEnd = j;
        if (j < n && d[j] == '=') {
            j = SkipSpace(d, j + 1, n);
            if (j >= n)
                return kNone;
            if (d[j] == '"' || d[j] == '\'') {
                size_t q = FindChar(d, j + 1, n, d[j]);
                if (q >= n)
                    return kNone;
                valueBegin = j + 1;
                valueEnd = q;
                j = q + 1;
            } else {
                valueBegin = j;
                j = SkipUntil(d, j, n, kValueStop);
                valueEnd = j;
            }
        }
        if (nameEnd > nameBegin && onAttr(nameBegin, nameEnd, valueBegin, valueEnd))
            return j;
    }
    return kNone;
}

inline char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Equal texts, ASCII letters compared without case; double-byte characters compare exactly.
bool FoldEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size();) {
        if (Is(a[i], kLead) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            i += 2;
        } else {
            if (FoldAscii(a[i]) != FoldAscii(b[i]))
                return false;
            ++i;
        }
    }
    return true;
}

std::string FoldKey(std::string_view name) {
    std::string key(name);
    for (size_t i = 0; i < key.size();) {
        if (Is(key[i], kLead) && i + 1 < key.size()) {
            i += 2;
        } else {
            key[i] = FoldAscii(key[i]);
            ++i;
        }
    }
    return key;
}

// Code point of a folded reference name ("amp", "#65", "#x41"), 0 when it names none.
std::uint32_t ReferenceCodePoint(std::string_view name) {
    if (name.empty())
        return 0;
    if (name[0] != '#')
        return static_cast<std::uint32_t>(EntityTable::Lookup(name));
    bool hex = name.size() > 1 && name[1] == 'x';
    size_t k = hex ? 2 : 1;
    if (k >= name.size())
        return 0;
    std::uint32_t value = 0;
    for (; k < name.size(); ++k) {
        char c = name[k];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return 0;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF)
            return 0;
    }
    return value;
}

} // namespace

// One parse: the node scanner and the tree building over the open-name stack.
class MarkupDoc::Builder {
public:
    explicit Builder(MarkupDoc& doc)
        : m_(doc), d_(doc.doc_.data()), n_(doc.doc_.size()),
          ignoreCase_((doc.docFlags_ & kIgnoreCase) != 0), open_(doc.openNames_) {
        open_.clear();
        open_.reserve(7);
    }

    void Run() {
        size_t i = 0;
        while (i < n_) {
            i = FindChar(d_, i, n_, '<');
            if (i >= n_)
                break;
            if (i + 1 >= n_) {
                Unterminated(i, "tag");
                break;
            }
            searchBudget_ += kSearchAllowancePerNode;
            char c = d_[i + 1];
            if (Is(c, kStartTagChar))
                StartTag(i);
            else if (c == '/')
                EndTag(i);
            else if (c == '?')
                Skip(i, FindSeq(d_, i + 2, n_, "?>"), 2, "processing_instruction");
            else if (c == '!')
                Declaration(i);
            else
                ErrorNode(i, "first_tag_syntax");
        }
        if (!open_.empty())
            CloseUnended(0, n_);
    }

private:
    using Open = OpenName;

    int Current() const { return open_.empty() ? 0 : open_.back().elem; }
    std::string_view Name(const Open& o) const { return {d_ + o.nameOffset, o.nameLength}; }
    std::string Key(std::string_view name) const {
        return ignoreCase_ ? FoldKey(name) : std::string(name);
    }
    bool Same(const Open& o, std::string_view name) const {
        if (o.nameLength != name.size())
            return false;
        return ignoreCase_ ? FoldEqual(Name(o), name)
                           : std::memcmp(d_ + o.nameOffset, name.data(), name.size()) == 0;
    }

    void StartTag(size_t& i) {
        size_t nameBegin = i + 1;
        size_t nameEnd = SkipUntil(d_, nameBegin, n_, kTagNameStop);
        bool empty = false;
        size_t end = WalkTagBody(d_, n_, nameEnd, empty,
                                 [](size_t, size_t, size_t, size_t) { return false; });
        if (end == kNone) {
            Unterminated(i, "start_tag");
            return;
        }
        int parent = Current();
        int e = m_.NewRecord();
        std::uint32_t level = std::min(LevelOf(parent) + 1, kLevelMask);
        ElemRecord& r = m_.Elem(e);
        r.start = static_cast<std::int32_t>(i);
        r.length = static_cast<std::int32_t>(end - i);
        r.flags = level;
        r.firstChild = 0;
        m_.SetTagLengths(e, static_cast<std::uint32_t>(end - i), 0);
        Append(parent, e);
        if (!empty)
            Push(e, nameBegin, nameEnd - nameBegin);
        i = end;
    }

    void EndTag(size_t& i) {
        size_t nameBegin = i + 2;
        size_t nameEnd = SkipUntil(d_, nameBegin, n_, kTagNameStop);
        size_t gt = FindChar(d_, nameEnd, n_, '>');
        if (gt >= n_) {
            Unterminated(i, "end_tag");
            return;
        }
        std::string_view name(d_ + nameBegin, nameEnd - nameBegin);
        int depth = FindOpen(name);
        if (depth < 0) {
            MarkError();
            m_.AddDiagnostic("lone_end_tag", "tagname", name, "offset", static_cast<long long>(i));
        } else {
            if (static_cast<size_t>(depth) + 1 < open_.size())
                CloseUnended(depth + 1, i);
            int e = open_.back().elem;
            ElemRecord& r = m_.Elem(e);
            r.length = static_cast<std::int32_t>(gt + 1 - r.start);
            m_.SetTagLengths(e, m_.StartTagLength(e), static_cast<std::uint32_t>(gt + 1 - i));
            Pop();
        }
        i = gt + 1;
    }

    void Declaration(size_t& i) {
        char c = i + 2 < n_ ? d_[i + 2] : '\0';
        char c3 = i + 3 < n_ ? d_[i + 3] : '\0';
        if (c == '-') {
            if (c3 == '-')
                Skip(i, FindSeq(d_, i + 4, n_, "-->"), 3, "comment");
            else
                ErrorNode(i, "comment_tag_syntax");
        } else if (c == '[') {
            if (c3 == 'C')
                Skip(i, FindSeq(d_, i + 3, n_, "]]>"), 3, "cdata_section");
            else
                ErrorNode(i, "cdata_section_syntax");
        } else if (c == 'D') {
            DocumentType(i);
        } else {
            ErrorNode(i, "exclamation_tag_syntax");
        }
    }

    // Declarations <!ATTLIST, <!ELEMENT, <!ENTITY, <!NOTATION inside belong to the node.
    void DocumentType(size_t& i) {
        size_t j = i + 3;
        while (j < n_) {
            char c = d_[j];
            if (c == '>') {
                i = j + 1;
                return;
            }
            if (c == '"' || c == '\'') {
                size_t q = FindChar(d_, j + 1, n_, c);
                if (q >= n_)
                    break;
                j = q + 1;
                continue;
            }
            if (c == '<') {
                char k = j + 2 < n_ ? d_[j + 2] : '\0';
                if (j + 1 < n_ && d_[j + 1] == '!' && (k == 'A' || k == 'E' || k == 'N')) {
                    size_t gt = SkipQuotedToGt(d_, j + 3, n_);
                    if (gt >= n_)
                        break;
                    j = gt + 1;
                    continue;
                }
                size_t gt = FindChar(d_, j + 1, n_, '>');
                if (gt >= n_)
                    break;
                MarkError();
                m_.AddDiagnostic("doctype_tag_syntax", {}, {}, "offset", static_cast<long long>(i),
                                 static_cast<long long>(j));
                i = gt + 1;
                return;
            }
            j = Step(d_, j, n_);
        }
        Unterminated(i, "document_type");
    }

    // A node that ends with the terminator found at end (n when missing) plus its length.
    void Skip(size_t& i, size_t end, size_t terminatorLength, std::string_view type) {
        if (end >= n_)
            Unterminated(i, type);
        else
            i = end + terminatorLength;
    }

    void ErrorNode(size_t& i, std::string_view keyword) {
        size_t gt = FindChar(d_, i + 1, n_, '>');
        if (gt >= n_) {
            Unterminated(i, "tag");
            return;
        }
        MarkError();
        m_.AddDiagnostic(keyword, {}, {}, "offset", static_cast<long long>(i));
        i = gt + 1;
    }

    void Unterminated(size_t& i, std::string_view type) {
        MarkError();
        m_.AddDiagnostic("unterminated_tag_syntax", "type", type, "offset",
                         static_cast<long long>(i));
        i = n_;
    }

    void MarkError() {
        m_.Elem(0).flags |= kFlagDocError;
        m_.Elem(Current()).flags |= kFlagErrorInside;
    }

    std::uint32_t LevelOf(int e) const { return m_.Elem(e).flags & kLevelMask; }

    void Append(int parent, int e) {
        ElemRecord& p = m_.Elem(parent);
        ElemRecord& r = m_.Elem(e);
        r.parent = parent;
        r.next = 0;
        if (p.firstChild == 0) {
            p.firstChild = e;
            r.prev = e;
            r.flags |= kFlagFirstChild;
        } else {
            ElemRecord& first = m_.Elem(p.firstChild);
            m_.Elem(first.prev).next = e;
            r.prev = first.prev;
            first.prev = e;
        }
    }

    // Closes open_[from..] as unended. Closing them one by one from the innermost would lift
    // the same children again at every level; the result is the same flat sibling run under
    // the parent of open_[from], built here in one pass: each element, then its children.
    void CloseUnended(size_t from, size_t offset2) {
        int parent = from == 0 ? 0 : open_[from - 1].elem;
        for (size_t k = open_.size(); k-- > from && m_.result_.size() < kResultCap;) {
            m_.AddDiagnostic("unended_start_tag", "tagname", Name(open_[k]), "offset",
                             m_.Elem(open_[k].elem).start, static_cast<long long>(offset2));
        }
        std::uint32_t childLevel = std::min(LevelOf(parent) + 1, kLevelMask);
        int tail = open_[from].elem;
        bool error = false;
        for (size_t k = from; k < open_.size(); ++k) {
            ElemRecord& r = m_.Elem(open_[k].elem);
            r.length = static_cast<std::int32_t>(m_.StartTagLength(open_[k].elem));
            r.flags |= kFlagUnended;
            if (r.flags & kFlagErrorInside) {
                r.flags &= ~kFlagErrorInside;
                error = true;
            }
            int first = r.firstChild;
            if (first == 0)
                continue;
            r.firstChild = 0;
            int last = m_.Elem(first).prev;
            for (int c = first; c != 0;) {
                ElemRecord& child = m_.Elem(c);
                child.parent = parent;
                child.flags = (child.flags & ~(kLevelMask | kFlagFirstChild)) | childLevel;
                c = child.next;
            }
            m_.Elem(tail).next = first;
            m_.Elem(first).prev = tail;
            tail = last;
        }
        m_.Elem(tail).next = 0;
        m_.Elem(m_.Elem(parent).firstChild).prev = tail;
        if (error)
            m_.Elem(parent).flags |= kFlagErrorInside;
        while (open_.size() > from)
            Pop();
    }

    // Depth of the innermost open element with that name, -1 when none.
    int FindOpen(std::string_view name) {
        if (open_.empty())
            return -1;
        size_t top = open_.size() - 1;
        if (Same(open_[top], name))
            return static_cast<int>(top);
        if (!indexed_) {
            if (top <= searchBudget_) {
                size_t k = top;
                while (k-- > 0 && !Same(open_[k], name)) {
                }
                searchBudget_ -= top - (k + 1);
                return k == static_cast<size_t>(-1) ? -1 : static_cast<int>(k);
            }
            BuildIndex();
        }
        auto it = topByName_.find(Key(name));
        return it == topByName_.end() ? -1 : it->second;
    }

    void BuildIndex() {
        topByName_.clear();
        for (size_t k = 0; k < open_.size(); ++k)
            Index(k);
        indexed_ = true;
    }

    void Index(size_t k) {
        auto [it, inserted] = topByName_.try_emplace(Key(Name(open_[k])), static_cast<int>(k));
        open_[k].prevSame = inserted ? -1 : it->second;
        it->second = static_cast<int>(k);
    }

    void Push(int e, size_t nameOffset, size_t nameLength) {
        open_.push_back({e, static_cast<std::uint32_t>(nameOffset),
                         static_cast<std::uint32_t>(nameLength), -1});
        if (indexed_)
            Index(open_.size() - 1);
    }

    void Pop() {
        if (indexed_) {
            const Open& o = open_.back();
            auto it = topByName_.find(Key(Name(o)));
            if (it != topByName_.end()) {
                if (o.prevSame < 0)
                    topByName_.erase(it);
                else
                    it->second = o.prevSame;
            }
        }
        open_.pop_back();
        if (open_.empty() && indexed_) {
            topByName_.clear();
            indexed_ = false;
        }
    }

    MarkupDoc& m_;
    const char* d_;
    size_t n_;
    bool ignoreCase_;
    std::vector<Open>& open_;
    size_t searchBudget_ = 0;
    bool indexed_ = false;
    std::unordered_map<std::string, int> topByName_; // valid while indexed_
};

bool MarkupDoc::Load(const char* text) {
    if (text)
        return Load(std::string_view(text));
    doc_ = std::string();
    result_.clear();
    savedPositions_.clear();
    posParent_ = pos_ = posChild_ = 0;
    SetNode(0);
    pages_.clear();
    longStartTags_.clear();
    longEndTags_.clear();
    capacity_ = 0;
    nextFree_ = 0;
    return false;
}

bool MarkupDoc::Load(std::string_view text) {
    doc_.assign(text.substr(0, std::min(text.size(), kMaxDocLength)));
    result_.clear();
    savedPositions_.clear();
    posParent_ = pos_ = posChild_ = 0;
    SetNode(0);
    nextFree_ = 1;
    longStartTags_.clear();
    longEndTags_.clear();
    Reserve(static_cast<int>(doc_.size() / 64 + 8));
    Elem(0) = ElemRecord{};
    if (doc_.empty())
        return false;

    Builder(*this).Run();

    Elem(0).length = static_cast<std::int32_t>(doc_.size());
    int root = Elem(0).firstChild;
    if (root == 0) {
        AddDiagnostic("no_root_element", {}, {}, {}, 0);
    } else if (int sibling = Elem(root).next; sibling != 0) {
        AddDiagnostic("root_has_sibling", "tagname", TagNameView(sibling), "offset",
                      Elem(sibling).start);
    }
    posParent_ = pos_ = posChild_ = 0;
    SetNode(0);
    return !(Elem(0).flags & kFlagDocError) && root != 0 && Elem(root).next == 0;
}

void MarkupDoc::Reserve(int records) {
    if (records <= capacity_)
        return;
    int partial = capacity_ % kPageRecords;
    if (partial != 0) {
        size_t page = capacity_ / kPageRecords;
        int size = std::min(kPageRecords, records - static_cast<int>(page) * kPageRecords);
        auto grown = std::make_unique_for_overwrite<ElemRecord[]>(size);
        std::copy_n(pages_[page].get(), partial, grown.get());
        pages_[page] = std::move(grown);
        capacity_ += size - partial;
    }
    while (capacity_ < records) {
        int size = std::min(kPageRecords, records - capacity_);
        pages_.push_back(std::make_unique_for_overwrite<ElemRecord[]>(size));
        capacity_ += size;
    }
}

std::uint32_t MarkupDoc::StartTagLength(int elem) const {
    std::uint32_t length = Elem(elem).tagLengths & kStartTagBits;
    return length == kStartTagBits ? longStartTags_.at(elem) : length;
}

std::uint32_t MarkupDoc::EndTagLength(int elem) const {
    std::uint32_t length = Elem(elem).tagLengths >> 22;
    return length == kEndTagBits ? longEndTags_.at(elem) : length;
}

void MarkupDoc::SetTagLengths(int elem, std::uint32_t startTag, std::uint32_t endTag) {
    if (startTag >= kStartTagBits)
        longStartTags_[elem] = startTag;
    if (endTag >= kEndTagBits)
        longEndTags_[elem] = endTag;
    Elem(elem).tagLengths = std::min(startTag, kStartTagBits) | std::min(endTag, kEndTagBits) << 22;
}

int MarkupDoc::NewRecord() {
    if (nextFree_ >= capacity_) {
        long long grown = std::max<long long>(nextFree_ + 1LL, nextFree_ * 3LL / 2);
        Reserve(static_cast<int>(std::min<long long>(grown, 0x7FFFFFFF)));
    }
    return nextFree_++;
}

void MarkupDoc::SetNode(int elem) {
    if (elem > 0 && Valid(elem)) {
        nodeType_ = kNodeElement;
        nodeOffset_ = Elem(elem).start;
        nodeLength_ = Elem(elem).length;
    } else {
        nodeType_ = kNodeNone;
        nodeOffset_ = nodeLength_ = 0;
    }
}

void MarkupDoc::AddDiagnostic(std::string_view keyword, std::string_view textName,
                              std::string_view text, std::string_view numberName, long long number,
                              long long offset2) {
    if (result_.size() >= kResultCap)
        return;
    result_ += '<';
    result_ += keyword;
    if (!textName.empty()) {
        size_t cut = 0;
        while (cut < text.size()) {
            size_t next = Step(text.data(), cut, text.size());
            if (next > kMaxQuotedName)
                break;
            cut = next;
        }
        result_ += ' ';
        result_ += textName;
        result_ += "=\"";
        for (char c : text.substr(0, cut)) {
            switch (c) {
            case '&':
                result_ += "&amp;";
                break;
            case '<':
                result_ += "&lt;";
                break;
            case '>':
                result_ += "&gt;";
                break;
            case '"':
                result_ += "&quot;";
                break;
            default:
                result_ += c;
            }
        }
        result_ += '"';
    }
    if (!numberName.empty()) {
        result_ += ' ';
        result_ += numberName;
        result_ += "=\"" + std::to_string(number) + '"';
    }
    if (offset2 >= 0)
        result_ += " offset2=\"" + std::to_string(offset2) + '"';
    result_ += "/>";
}

std::string_view MarkupDoc::TagNameView(int elem) const {
    if (elem <= 0 || !Valid(elem))
        return {};
    const ElemRecord& r = Elem(elem);
    const char* d = doc_.data();
    size_t begin = static_cast<size_t>(r.start) + 1;
    size_t end =
        SkipUntil(d, begin, static_cast<size_t>(r.start) + StartTagLength(elem), kNameStop);
    return {d + begin, end - begin};
}

std::string MarkupDoc::TagName(int elem) const {
    return std::string(TagNameView(elem));
}

bool MarkupDoc::NamesEqual(std::string_view a, std::string_view b) const {
    return (docFlags_ & kIgnoreCase) ? FoldEqual(a, b) : a == b;
}

bool MarkupDoc::FindChild(std::string_view name) {
    if ((docFlags_ & (kWriteFile | kReadFile)) || nextFree_ == 0)
        return false;
    int parent = pos_;
    int after = posChild_;
    if (parent == 0) {
        parent = Elem(posParent_).firstChild;
        after = 0;
        if (parent == 0)
            return false;
    }
    for (int c = after ? Elem(after).next : Elem(parent).firstChild; c != 0; c = Elem(c).next) {
        if (name.empty() || NamesEqual(TagNameView(c), name)) {
            posChild_ = c;
            pos_ = Elem(c).parent;
            posParent_ = Elem(pos_).parent;
            SetNode(c);
            return true;
        }
    }
    return false;
}

bool MarkupDoc::Enter() {
    if (pos_ == 0 || nodeType_ != kNodeElement)
        return false;
    posParent_ = pos_;
    pos_ = posChild_;
    posChild_ = 0;
    SetNode(pos_);
    return true;
}

bool MarkupDoc::Leave() {
    if (posParent_ == 0)
        return false;
    posChild_ = pos_;
    pos_ = posParent_;
    posParent_ = Elem(pos_).parent;
    SetNode(pos_);
    return true;
}

std::string MarkupDoc::Attribute(int elem, std::string_view name) const {
    if (elem <= 0 || !Valid(elem) || nodeType_ != kNodeElement)
        return {};
    const ElemRecord& r = Elem(elem);
    const char* d = doc_.data();
    size_t end = static_cast<size_t>(r.start) + StartTagLength(elem);
    size_t j = SkipUntil(d, static_cast<size_t>(r.start) + 1, end, kNameStop);
    std::string value;
    bool empty = false;
    WalkTagBody(d, end, j, empty, [&](size_t nb, size_t ne, size_t vb, size_t ve) {
        if (!NamesEqual(std::string_view(d + nb, ne - nb), name))
            return false;
        value = DecodeText(std::string_view(d + vb, ve - vb), docFlags_);
        return true;
    });
    return value;
}

std::string MarkupDoc::Content(int elem) const {
    if (elem <= 0 || !Valid(elem) || (docFlags_ & (kWriteFile | kReadFile)))
        return {};
    const ElemRecord& r = Elem(elem);
    std::uint32_t startTag = StartTagLength(elem), endTag = EndTagLength(elem);
    if ((r.flags & kFlagUnended) || endTag == 0)
        return {};
    size_t begin = static_cast<size_t>(r.start) + startTag;
    size_t length = static_cast<size_t>(r.length) - startTag - endTag;
    return doc_.substr(begin, length);
}

void MarkupDoc::SavePos(std::string_view name) {
    SavedPos saved{posParent_, pos_, posChild_, nodeType_, nodeOffset_, nodeLength_};
    auto it = savedPositions_.find(name);
    if (it != savedPositions_.end())
        it->second = saved;
    else
        savedPositions_.emplace(std::string(name), saved);
}

bool MarkupDoc::RestorePos(std::string_view name) {
    auto it = savedPositions_.find(name);
    if (it == savedPositions_.end())
        return false;
    const SavedPos& s = it->second;
    posParent_ = s.posParent;
    pos_ = s.pos;
    posChild_ = s.posChild;
    nodeType_ = s.nodeType;
    nodeOffset_ = s.nodeOffset;
    nodeLength_ = s.nodeLength;
    return true;
}

MarkupDoc::ElementInfo MarkupDoc::Element(int elem) const {
    ElementInfo info;
    if (!Valid(elem))
        return info;
    const ElemRecord& r = Elem(elem);
    info.start = r.start;
    info.length = r.length;
    info.startTagLength = static_cast<int>(StartTagLength(elem));
    info.endTagLength = static_cast<int>(EndTagLength(elem));
    info.level = static_cast<int>(r.flags & kLevelMask);
    info.parent = r.parent;
    info.firstChild = r.firstChild;
    info.next = r.next;
    info.prev = r.prev;
    info.isFirstChild = r.flags & kFlagFirstChild;
    info.unended = r.flags & kFlagUnended;
    info.errorInside = r.flags & kFlagErrorInside;
    info.documentError = r.flags & kFlagDocError;
    return info;
}

std::string MarkupDoc::DecodeText(std::string_view text, int docFlags) {
    const bool collapse = docFlags & kCollapseWhitespace;
    const bool trim = collapse || (docFlags & kTrimWhitespace);
    const char* d = text.data();
    const size_t n = text.size();
    std::string out;
    out.reserve(n);
    std::string bytes;
    for (size_t i = 0; i < n;) {
        char c = d[i];
        if (c == '&') {
            char name[kMaxEntityScan];
            size_t length = 0;
            size_t k = i + 1;
            bool terminated = false;
            for (; k < n && k <= i + kMaxEntityScan; ++k) {
                if (d[k] == ';') {
                    terminated = true;
                    break;
                }
                if (Byte(d[k]) >= 0x80)
                    break;
                name[length++] = FoldAscii(d[k]);
            }
            if (terminated) {
                std::uint32_t codePoint = ReferenceCodePoint(std::string_view(name, length));
                if (codePoint != 0 && CodePage::CodePointToAnsi(codePoint, bytes)) {
                    out += bytes;
                    i = k + 1;
                    continue;
                }
            }
            out += '&';
            ++i;
            continue;
        }
        if (trim && Is(c, kSpace)) {
            size_t end = SkipSpace(d, i, n);
            if (i != 0 && end != n)
                out.append(collapse ? std::string_view(" ") : text.substr(i, end - i));
            i = end;
            continue;
        }
        size_t next = Step(d, i, n);
        out.append(d + i, next - i);
        i = next;
    }
    return out;
}
