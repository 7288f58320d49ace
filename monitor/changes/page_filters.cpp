#include "monitor/changes/page_filters.h"

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <re2/re2.h>

#include <mutex>

#include "monitor/changes/css_selection.h"
#include "monitor/changes/document_text.h"
#include "monitor/changes/html_markup.h"
#include "monitor/changes/text_diff.h"

namespace wardlet {
namespace {

// libxml2's tree of a page of many small elements takes some twenty times the page: larger pages
// are not parsed for an XPath expression, so a huge page cannot take the monitor's memory. A CSS
// selector reads the page as a stream and has no such bound.
constexpr size_t kMaxTreePageBytes = size_t{16} << 20;

struct DocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
struct ContextFree {
    void operator()(xmlXPathContextPtr context) const { xmlXPathFreeContext(context); }
};
struct ObjectFree {
    void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};
struct CompiledFree {
    void operator()(xmlXPathCompExprPtr expr) const { xmlXPathFreeCompExpr(expr); }
};

const xmlChar* Xml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

// The first error libxml2 reports through a context, kept instead of printed.
void KeepError(void* target, const xmlError* error) {
    auto* message = static_cast<std::string*>(target);
    if (message->empty() && error && error->message) {
        *message = error->message;
        while (!message->empty() && (message->back() == '\n' || message->back() == ' '))
            message->pop_back();
    }
}

std::unique_ptr<xmlXPathContext, ContextFree> NewContext(xmlDocPtr doc, std::string& error) {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    std::unique_ptr<xmlXPathContext, ContextFree> context(xmlXPathNewContext(doc));
    if (context) {
        context->error = reinterpret_cast<xmlStructuredErrorFunc>(KeepError);
        context->userData = &error;
    }
    return context;
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string SelectorName(const DocumentFilters& filters) {
    return (filters.selectorKind == DocumentFilters::Selector::Css ? "The CSS selector \""
                                                                   : "The XPath expression \"") +
           filters.selector + "\"";
}

}  // namespace

PageFilter::~PageFilter() = default;

std::unique_ptr<PageFilter> PageFilter::Compile(const DocumentFilters& filters,
                                                std::string& problem) {
    std::unique_ptr<PageFilter> filter(new PageFilter());
    filter->filters_ = filters;
    if (filters.selectorKind == DocumentFilters::Selector::Css) {
        std::optional<CssSelector> css = ParseCss(filters.selector, problem);
        if (!css) return nullptr;
        filter->css_ = std::make_unique<CssSelector>(std::move(*css));
    } else if (filters.selectorKind == DocumentFilters::Selector::XPath) {
        if (filters.selector.empty()) {
            problem = "The XPath expression is empty.";
            return nullptr;
        }
        filter->xpath_ = filters.selector;
    }
    if (!filter->xpath_.empty()) {
        std::string error;
        auto context = NewContext(nullptr, error);
        std::unique_ptr<xmlXPathCompExpr, CompiledFree> compiled(
            context ? xmlXPathCtxtCompile(context.get(), Xml(filter->xpath_)) : nullptr);
        if (!compiled) {
            problem = SelectorName(filters) + " is not valid XPath" +
                      (error.empty() ? std::string(".") : ": " + error + ".");
            return nullptr;
        }
    }
    RE2::Options options;
    options.set_log_errors(false);
    for (const auto& pattern : filters.ignoreLines) {
        auto compiled = std::make_unique<RE2>(pattern, options);
        if (!compiled->ok()) {
            problem = "The pattern \"" + pattern + "\" is not valid: " + compiled->error() + ".";
            return nullptr;
        }
        filter->ignore_.push_back(std::move(compiled));
    }
    return filter;
}

std::optional<std::string> PageFilter::Select(std::string_view bytes,
                                              std::string_view declaredCharset,
                                              std::string& reason) const {
    if (!css_ && bytes.size() > kMaxTreePageBytes) {
        reason = "The page has " + std::to_string(bytes.size() >> 20) + " MB; " +
                 "an XPath expression reads pages of at most " +
                 std::to_string(kMaxTreePageBytes >> 20) + " MB.";
        return std::nullopt;
    }
    std::unique_ptr<xmlDoc, DocFree> doc;
    {
        // A page in UTF-8 is read where it lies; another is converted, and that copy goes once
        // parsed.
        DecodedCopy decoded = DecodeCopy(bytes, TextForm::Page, declaredCharset);
        if (decoded.binary) {
            reason = "The document is not text, so " + SelectorName(filters_) + " finds nothing.";
            return std::nullopt;
        }
        std::string_view text = decoded.text();
        if (css_) {
            CssSelection selection = SelectWithCss(text, *css_);
            if (selection.matches == 0) {
                reason = SelectorName(filters_) + " matches nothing on the page.";
                return std::nullopt;
            }
            return std::move(selection.markup);
        }
        if (htmlParserCtxtPtr parser = NewUtf8PageParser(text)) {
            htmlParseDocument(parser);
            doc.reset(parser->myDoc);
            parser->myDoc = nullptr;
            htmlFreeParserCtxt(parser);
        }
    }
    if (!doc) {
        reason = "The page could not be read as HTML.";
        return std::nullopt;
    }
    std::string error;
    auto context = NewContext(doc.get(), error);
    if (!context) throw std::bad_alloc();
    std::unique_ptr<xmlXPathObject, ObjectFree> found(
        xmlXPathEvalExpression(Xml(xpath_), context.get()));
    if (!found) {
        reason = SelectorName(filters_) + " could not be evaluated" +
                 (error.empty() ? std::string(".") : ": " + error + ".");
        return std::nullopt;
    }
    std::string out;
    if (found->type == XPATH_NODESET) {
        xmlNodeSetPtr nodes = found->nodesetval;
        int count = nodes ? nodes->nodeNr : 0;
        for (int i = 0; i < count; ++i)
            AppendSelectedNode(doc.get(), nodes->nodeTab[i], out);
        if (count == 0) {
            reason = SelectorName(filters_) + " matches nothing on the page.";
            return std::nullopt;
        }
    } else if (xmlChar* value = xmlXPathCastToString(found.get())) {
        // An expression of a string, a number or a truth value compares as that value.
        out = reinterpret_cast<const char*>(value);
        out += '\n';
        xmlFree(value);
    }
    return out;
}

bool PageFilter::Ignored(std::string_view line) const {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    for (const auto& pattern : ignore_)
        if (RE2::PartialMatch(line, *pattern)) return true;
    return false;
}

PageFilter::Result PageFilter::Apply(std::string_view bytes, std::string_view declaredCharset,
                                     bool keepLines) const {
    Result result;
    std::string selected;
    std::string_view part = bytes;
    bool selects = css_ || !xpath_.empty();
    if (selects) {
        std::optional<std::string> markup = Select(bytes, declaredCharset, result.reason);
        if (!markup) return result;
        selected = std::move(*markup);
        part = selected;
    }
    if (filters_.textOnly) {
        // The selection is UTF-8 already; the whole page is read in its own charset.
        std::string text =
            TextOfCopy(part, TextForm::Page, selects ? "utf-8" : declaredCharset).text;
        selected = std::move(text);
        part = selected;
    }
    if (ignore_.empty() && !keepLines) {
        result.portion = std::string(part);
    } else {
        size_t from = 0;
        while (from < part.size()) {
            size_t end = part.find('\n', from);
            size_t next = end == std::string_view::npos ? part.size() : end + 1;
            std::string_view line = part.substr(from, next - from);
            std::string_view bare = line.substr(0, line.find('\n'));
            bool ignored = !ignore_.empty() && Ignored(bare);
            if (!ignored) result.portion += line;
            if (keepLines) result.lines.push_back({std::string(bare), ignored});
            from = next;
        }
    }
    if (result.portion.find_first_not_of(" \t\r\n") == std::string::npos) {
        result.reason = !selects && !filters_.textOnly
                            ? "Every line of the document is ignored by the filters."
                            : "Nothing is left of the page after its filters.";
        result.portion.clear();
        return result;
    }
    result.ok = true;
    return result;
}

bool PageFilter::CountsAsChange(std::string_view oldPortion, std::string_view newPortion) const {
    if (filters_.trigger.empty()) return true;
    std::string trigger = ToLower(filters_.trigger);
    TextDiff diff = DiffTexts(oldPortion, newPortion, 0);
    LineKind wanted = filters_.triggerOnRemoved ? LineKind::Removed : LineKind::Added;
    for (const auto& hunk : diff.hunks)
        for (const auto& line : hunk.lines)
            if (line.kind == wanted && ToLower(line.text).find(trigger) != std::string::npos)
                return true;
    return false;
}

std::string FiltersProblem(const DocumentFilters& filters) {
    std::string problem;
    if (!PageFilter::Compile(filters, problem)) return problem;
    return {};
}

}  // namespace wardlet
