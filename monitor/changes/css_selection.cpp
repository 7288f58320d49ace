#include "monitor/changes/css_selection.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "monitor/changes/html_markup.h"

namespace wardlet {
namespace {

const char* Text(const xmlChar* text) {
    return reinterpret_cast<const char*>(text);
}

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The value of attribute `name` ("" for one written without a value), nullopt when absent.
std::optional<std::string_view> AttributeValue(const xmlChar** attributes, std::string_view name) {
    for (; attributes && attributes[0]; attributes += 2)
        if (name == Text(attributes[0])) return attributes[1] ? Text(attributes[1]) : "";
    return std::nullopt;
}

bool HasClass(std::string_view classes, std::string_view wanted) {
    size_t at = 0;
    while (at < classes.size()) {
        while (at < classes.size() && IsXmlSpace(classes[at]))
            ++at;
        size_t end = at;
        while (end < classes.size() && !IsXmlSpace(classes[end]))
            ++end;
        if (end > at && classes.substr(at, end - at) == wanted) return true;
        at = end;
    }
    return false;
}

bool TestHolds(const CssSelector::Test& test, const xmlChar** attributes, int position) {
    using Kind = CssSelector::Test::Kind;
    if (test.kind == Kind::NthChild) return position == test.position;
    std::optional<std::string_view> value =
        AttributeValue(attributes, test.kind == Kind::Id      ? std::string_view("id")
                                   : test.kind == Kind::Class ? std::string_view("class")
                                                              : std::string_view(test.name));
    if (!value) return false;
    switch (test.kind) {
        case Kind::Id:
            return *value == test.name;
        case Kind::Class:
            return HasClass(*value, test.name);
        case Kind::AttributeEquals:
            return *value == test.value;
        default:
            return true;
    }
}

// The name a type selector meets, as libxml2's tree names the element: a prefix before a colon
// is dropped ("a:b" is "b"), except where the colon comes first or last.
std::string_view TypeName(std::string_view name) {
    size_t colon = name.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == name.size()) return name;
    return name.substr(colon + 1);
}

bool CompoundHolds(const CssSelector::Compound& compound, const char* name,
                   const xmlChar** attributes, int position) {
    if (compound.type != "*" && TypeName(name) != compound.type) return false;
    for (const CssSelector::Test& test : compound.tests)
        if (!TestHolds(test, attributes, position)) return false;
    return true;
}

// The parse's events, matched against the selector on the stack of open elements. libxml2's
// own tree builder gets only the events inside a match, so the matched element is built (and
// serialized) exactly as in a whole tree, and nothing else is.
class Selection {
public:
    explicit Selection(const CssSelector& selector)
        : selector_(selector), width_(selector.alternatives.size()) {}

    void Install(htmlParserCtxtPtr context) {
        tree_ = *context->sax;
        context->_private = this;
        xmlSAXHandler& sax = *context->sax;
        sax.startElement = &Selection::OnStart;
        sax.endElement = &Selection::OnEnd;
        sax.characters = &Selection::OnCharacters;
        sax.ignorableWhitespace = &Selection::OnIgnorableWhitespace;
        sax.cdataBlock = &Selection::OnCdata;
        sax.comment = &Selection::OnComment;
        sax.processingInstruction = &Selection::OnInstruction;
        sax.internalSubset = &Selection::OnDoctype;
    }

    // A parse stopped inside a match (libxml2 halts a subtree past its depth limit) leaves it
    // open: what was built of it counts, as it would in a tree.
    CssSelection Finish(htmlParserCtxtPtr ctxt) {
        if (failure_) std::rethrow_exception(failure_);
        if (rootPending_ && !inFirstRoot_) Serialize(ctxt, firstRoot_->open);
        for (const Open& open : open_)
            Serialize(ctxt, open);
        TakeSlots();
        return std::move(result_);
    }

private:
    struct Open {
        int children = 0;            // element children started so far
        xmlNodePtr node = nullptr;   // when built
        std::optional<size_t> slot;  // its place among the matches, when it is one
    };

    // What the tree's first top-level node is: the first element makes later top-level elements
    // its children (libxml2 puts them there), a doctype, comment or instruction their sibling.
    enum class TopLevel { Empty, Element, Other };
    struct Closed {
        Open open;
        std::vector<uint64_t> bits;
    };

    static Selection& Of(void* context) {
        return *static_cast<Selection*>(static_cast<htmlParserCtxtPtr>(context)->_private);
    }

    // Runs a handler's work; an exception must not cross libxml2's frames, so it stops the
    // parse and is thrown again once the parse has returned.
    template <typename Work>
    static void Guarded(void* context, Work work) {
        Selection& self = Of(context);
        if (self.failure_) return;
        try {
            work(self, static_cast<htmlParserCtxtPtr>(context));
        } catch (...) {
            self.failure_ = std::current_exception();
            xmlStopParser(static_cast<htmlParserCtxtPtr>(context));
        }
    }

    static void OnStart(void* context, const xmlChar* name, const xmlChar** attributes) {
        Guarded(context, [&](Selection& self, htmlParserCtxtPtr ctxt) {
            self.Start(ctxt, Text(name), attributes);
        });
    }
    static void OnEnd(void* context, const xmlChar* name) {
        Guarded(context, [&](Selection& self, htmlParserCtxtPtr ctxt) { self.End(ctxt, name); });
    }
    static void OnCharacters(void* context, const xmlChar* text, int size) {
        Selection& self = Of(context);
        if (self.building_ > 0 && self.tree_.characters) self.tree_.characters(context, text, size);
    }
    static void OnIgnorableWhitespace(void* context, const xmlChar* text, int size) {
        Selection& self = Of(context);
        if (self.building_ > 0 && self.tree_.ignorableWhitespace)
            self.tree_.ignorableWhitespace(context, text, size);
    }
    static void OnCdata(void* context, const xmlChar* text, int size) {
        Selection& self = Of(context);
        if (self.building_ > 0 && self.tree_.cdataBlock) self.tree_.cdataBlock(context, text, size);
    }
    static void OnComment(void* context, const xmlChar* text) {
        Selection& self = Of(context);
        self.NoteTopLevelNode();
        if (self.building_ > 0 && self.tree_.comment) self.tree_.comment(context, text);
    }
    static void OnInstruction(void* context, const xmlChar* target, const xmlChar* data) {
        Selection& self = Of(context);
        self.NoteTopLevelNode();
        if (self.building_ > 0 && self.tree_.processingInstruction)
            self.tree_.processingInstruction(context, target, data);
    }
    static void OnDoctype(void* context, const xmlChar* name, const xmlChar* publicId,
                          const xmlChar* systemId) {
        Selection& self = Of(context);
        auto* ctxt = static_cast<htmlParserCtxtPtr>(context);
        // The first doctype goes before everything else, even one misplaced in the page.
        if (ctxt->myDoc && !xmlGetIntSubset(ctxt->myDoc)) self.topLevel_ = TopLevel::Other;
        if (self.tree_.internalSubset) self.tree_.internalSubset(context, name, publicId, systemId);
    }

    void NoteTopLevelNode() {
        if (open_.empty() && topLevel_ == TopLevel::Empty) topLevel_ = TopLevel::Other;
    }

    void Serialize(htmlParserCtxtPtr ctxt, const Open& open) {
        if (open.slot) AppendSelectedNode(ctxt->myDoc, open.node, slots_[*open.slot]);
    }

    // The matches written out so far, in document order, onto the result.
    void TakeSlots() {
        for (const std::string& slot : slots_)
            result_.markup += slot;
        slots_.clear();
    }

    // Bit i of an alternative's word: its compounds 0..i match a chain ending at the element.
    uint64_t* Reached(size_t depth) { return &bits_[depth * 2 * width_]; }
    // The same, or-ed over the element and all its ancestors.
    uint64_t* Within(size_t depth) { return &bits_[depth * 2 * width_ + width_]; }

    bool MatchAt(size_t depth, const char* name, const xmlChar** attributes, int position) {
        bool matched = false;
        const uint64_t* parentReached = depth > 0 ? Reached(depth - 1) : nullptr;
        const uint64_t* parentWithin = depth > 0 ? Within(depth - 1) : nullptr;
        for (size_t a = 0; a < width_; ++a) {
            const CssSelector::Complex& steps = selector_.alternatives[a];
            uint64_t reached = 0;
            for (size_t i = 0; i < steps.size(); ++i) {
                if (i > 0) {
                    const uint64_t* before =
                        steps[i].childOfPrevious ? parentReached : parentWithin;
                    if (!before || !(before[a] >> (i - 1) & 1)) continue;
                }
                if (CompoundHolds(steps[i], name, attributes, position))
                    reached |= uint64_t{1} << i;
            }
            Reached(depth)[a] = reached;
            Within(depth)[a] = reached | (parentWithin ? parentWithin[a] : 0);
            if (reached >> (steps.size() - 1) & 1) matched = true;
        }
        return matched;
    }

    void Start(htmlParserCtxtPtr ctxt, const char* name, const xmlChar** attributes) {
        if (open_.empty() && topLevel_ == TopLevel::Element && firstRoot_) {
            // Inside the first element, where the tree has it.
            open_.push_back(firstRoot_->open);
            std::copy(firstRoot_->bits.begin(), firstRoot_->bits.end(), bits_.begin());
            inFirstRoot_ = true;
            if (open_[0].node) {
                ctxt->node = open_[0].node;
                ++building_;
            }
        }
        if (open_.empty() && topLevel_ == TopLevel::Empty) topLevel_ = TopLevel::Element;
        int& siblings = open_.empty() ? rootChildren_ : open_.back().children;
        int position = siblings < std::numeric_limits<int>::max() ? ++siblings : siblings;
        size_t depth = open_.size();
        bits_.resize((depth + 1) * 2 * width_);
        bool matched = MatchAt(depth, name, attributes, position);
        open_.emplace_back();
        if (!matched && building_ == 0) return;
        if (building_ == 0) {
            // The match is built under a holder of ours, away from where the page puts it.
            if (!holder_) {
                holder_ = xmlNewDocNode(ctxt->myDoc, nullptr, BAD_CAST "selection", nullptr);
                if (!holder_) throw std::bad_alloc();
                xmlAddChild(reinterpret_cast<xmlNodePtr>(ctxt->myDoc), holder_);
            }
            ctxt->node = holder_;
        }
        xmlNodePtr parent = ctxt->node;
        if (tree_.startElement) tree_.startElement(ctxt, BAD_CAST name, attributes);
        if (ctxt->node == parent || !ctxt->node) {
            // Not built: past libxml2's depth limit, which also ends the parse.
            if (building_ == 0) ctxt->node = nullptr;
            return;
        }
        ++building_;
        open_.back().node = ctxt->node;
        if (matched) {
            open_.back().slot = slots_.size();
            slots_.emplace_back();
            ++result_.matches;
        }
    }

    void End(htmlParserCtxtPtr ctxt, const xmlChar* name) {
        if (open_.empty() || (inFirstRoot_ && open_.size() == 1)) return;
        Open closed = open_.back();
        open_.pop_back();
        bool firstRoot = open_.empty() && topLevel_ == TopLevel::Element && !firstRoot_;
        if (closed.node) {
            if (tree_.endElement) tree_.endElement(ctxt, name);
            --building_;
            if (!firstRoot) Serialize(ctxt, closed);
        }
        if (firstRoot) {
            firstRoot_ = Closed{closed, {bits_.begin(), bits_.begin() + 2 * width_}};
            // Matched, it may still gain children: it is written out at the end.
            rootPending_ = closed.node != nullptr;
        }
        if (inFirstRoot_ && open_.size() == 1) {
            firstRoot_->open = open_.back();
            open_.pop_back();
            inFirstRoot_ = false;
            if (firstRoot_->open.node) {
                --building_;
                ctxt->node = nullptr;
            }
        }
        if (building_ > 0 || !closed.node || rootPending_) return;
        // The outermost match is whole: its markup and those of matches inside it, in order.
        xmlUnlinkNode(closed.node);
        xmlFreeNode(closed.node);
        ctxt->node = nullptr;
        TakeSlots();
    }

    const CssSelector& selector_;
    size_t width_;
    xmlSAXHandler tree_{};
    std::vector<Open> open_;
    std::vector<uint64_t> bits_;
    int rootChildren_ = 0;
    int building_ = 0;  // open elements inside the outermost match, itself included
    TopLevel topLevel_ = TopLevel::Empty;
    std::optional<Closed> firstRoot_;  // once closed
    bool inFirstRoot_ = false;         // open_[0] is the first root, holding a later element
    bool rootPending_ = false;         // the first root matched and is not written out yet
    xmlNodePtr holder_ = nullptr;
    std::vector<std::string> slots_;
    CssSelection result_;
    std::exception_ptr failure_;
};

}  // namespace

CssSelection SelectWithCss(std::string_view utf8Page, const CssSelector& selector) {
    htmlParserCtxtPtr context = NewUtf8PageParser(utf8Page);
    if (!context) return {};
    struct Parse {
        htmlParserCtxtPtr context;
        ~Parse() {
            if (context->myDoc) xmlFreeDoc(context->myDoc);
            context->myDoc = nullptr;
            htmlFreeParserCtxt(context);
        }
    } parse{context};
    Selection selection(selector);
    selection.Install(context);
    htmlParseDocument(context);
    return selection.Finish(context);
}

}  // namespace wardlet
