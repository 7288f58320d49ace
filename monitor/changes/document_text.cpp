#include "monitor/changes/document_text.h"

#include <iconv.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

namespace wardlet {
namespace {

constexpr size_t kBinaryProbe = 8000;  // as far as git looks for a NUL
constexpr size_t kMetaProbe = 64 * 1024;
constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_COMPACT;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && strchr(" \t\r\n\"'", text.front()))
        text.remove_prefix(1);
    while (!text.empty() && strchr(" \t\r\n\"';", text.back()))
        text.remove_suffix(1);
    return text;
}

// Browsers read every Latin-1 label as windows-1252, which only adds characters to it.
std::string CanonicalCharset(std::string_view name) {
    std::string lower = Lower(Trim(name));
    if (lower == "iso-8859-1" || lower == "latin1" || lower == "iso8859-1" || lower == "us-ascii" ||
        lower == "ascii" || lower == "l1" || lower == "cp1252")
        return "windows-1252";
    if (lower == "utf8") return "utf-8";
    return lower;
}

struct IconvCloser {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

// `bytes` in `charset` as UTF-8; a byte that is no character there becomes U+FFFD unless
// `strict`, and then the conversion fails. nullopt when the charset is unknown too.
std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset, bool strict) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser> owner(cd);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    std::array<char, 64 * 1024> block;
    while (inLeft > 0) {
        char* to = block.data();
        size_t toLeft = block.size();
        size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(block.data(), block.size() - toLeft);
        if (done != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (strict) return std::nullopt;
        // An invalid or cut-short sequence: one byte stands for one replacement character.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

void InitParser() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

DocPtr ParseHtml(std::string_view bytes, const char* encoding) {
    InitParser();
    int size = static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX));
    return DocPtr(htmlReadMemory(bytes.data(), size, nullptr, encoding, kParseOptions));
}

std::string_view NameOf(const xmlNode* node) {
    return node->name ? reinterpret_cast<const char*>(node->name) : "";
}

std::string AttributeOf(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value) return {};
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// The next node of a document-order walk that does not enter `node`'s children.
xmlNode* NextOutside(xmlNode* node, xmlNode* root) {
    while (node && node != root && !node->next)
        node = node->parent;
    return node && node != root ? node->next : nullptr;
}

// The charset a page's <meta charset> or <meta http-equiv="Content-Type"> names.
std::string MetaCharset(std::string_view bytes) {
    // Read as Latin-1, every byte one character: the markup is ASCII in every charset that matters.
    DocPtr doc = ParseHtml(bytes.substr(0, kMetaProbe), "ISO-8859-1");
    if (!doc) return {};
    xmlNode* root = xmlDocGetRootElement(doc.get());
    for (xmlNode* node = root; node;) {
        if (node->type == XML_ELEMENT_NODE && strcasecmp(NameOf(node).data(), "meta") == 0) {
            std::string charset = AttributeOf(node, "charset");
            if (!charset.empty()) return CanonicalCharset(charset);
            if (strcasecmp(AttributeOf(node, "http-equiv").c_str(), "content-type") == 0) {
                charset = CharsetOfContentType(AttributeOf(node, "content"));
                if (!charset.empty()) return CanonicalCharset(charset);
            }
        }
        node = node->children ? node->children : NextOutside(node, root);
    }
    return {};
}

bool IsOneOf(std::string_view name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (strcasecmp(name.data(), n) == 0) return true;
    return false;
}

bool IsDropped(std::string_view name) {
    return IsOneOf(name, {"script", "style", "noscript", "template", "head"});
}

bool IsBlock(std::string_view name) {
    return IsOneOf(name,
                   {"address", "article", "aside",  "blockquote", "body",  "caption",  "dd",
                    "details", "dialog",  "div",    "dl",         "dt",    "fieldset", "figcaption",
                    "figure",  "footer",  "form",   "h1",         "h2",    "h3",       "h4",
                    "h5",      "h6",      "header", "hgroup",     "hr",    "html",     "li",
                    "main",    "nav",     "ol",     "option",     "p",     "pre",      "section",
                    "summary", "table",   "tbody",  "td",         "tfoot", "th",       "thead",
                    "title",   "tr",      "ul"});
}

// Lines of a page's text as they are built: white space collapsed, empty lines left out.
class TextLines {
public:
    void Add(std::string_view text, bool preformatted) {
        for (char c : text) {
            if (preformatted) {
                if (c == '\n') {
                    Break();
                } else if (c != '\r') {
                    line_ += c;
                }
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                space_ = true;
                continue;
            }
            if (space_ && !line_.empty()) line_ += ' ';
            space_ = false;
            line_ += c;
        }
    }
    void Break() {
        while (!line_.empty() && line_.back() == ' ')
            line_.pop_back();
        if (!line_.empty()) text_ += line_ + '\n';
        line_.clear();
        space_ = false;
    }
    std::string Take() {
        Break();
        return std::move(text_);
    }

private:
    std::string text_, line_;
    bool space_ = false;
};

std::string PageText(std::string_view utf8) {
    DocPtr doc = ParseHtml(utf8, "UTF-8");
    if (!doc) return {};
    TextLines lines;
    xmlNode* root = xmlDocGetRootElement(doc.get());
    int preformatted = 0;
    for (xmlNode* node = root; node;) {
        bool enter = false;
        if (node->type == XML_ELEMENT_NODE) {
            std::string_view name = NameOf(node);
            bool title = strcasecmp(name.data(), "title") == 0;
            if (IsDropped(name) && !title) {
                // The title is the one part of the head a reader sees.
                if (strcasecmp(name.data(), "head") == 0)
                    for (xmlNode* c = node->children; c; c = c->next)
                        if (c->type == XML_ELEMENT_NODE &&
                            strcasecmp(NameOf(c).data(), "title") == 0)
                            if (xmlChar* t = xmlNodeGetContent(c)) {
                                lines.Add(reinterpret_cast<const char*>(t), false);
                                lines.Break();
                                xmlFree(t);
                            }
            } else if (strcasecmp(name.data(), "br") == 0) {
                lines.Break();
            } else {
                if (IsBlock(name)) lines.Break();
                if (strcasecmp(name.data(), "pre") == 0) ++preformatted;
                enter = node->children != nullptr;
                if (!enter && IsBlock(name)) lines.Break();
            }
        } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content)
                lines.Add(reinterpret_cast<const char*>(node->content), preformatted > 0);
        }
        if (enter) {
            node = node->children;
            continue;
        }
        // Leaving `node`, then every parent whose last child it was.
        while (node && node != root && !node->next) {
            node = node->parent;
            if (node->type == XML_ELEMENT_NODE) {
                if (IsBlock(NameOf(node))) lines.Break();
                if (strcasecmp(NameOf(node).data(), "pre") == 0) --preformatted;
            }
        }
        node = node && node != root ? node->next : nullptr;
    }
    return lines.Take();
}

std::string PlainText(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\r') {
            text += utf8[i];
        } else if (i + 1 >= utf8.size() || utf8[i + 1] != '\n') {
            text += '\n';  // a lone CR ends a line too
        }
    }
    return text;
}

}  // namespace

std::string CharsetOfContentType(std::string_view contentType) {
    std::string lower = Lower(contentType);
    size_t at = lower.find("charset=");
    if (at == std::string::npos) return {};
    std::string_view value = std::string_view(contentType).substr(at + 8);
    value = value.substr(0, value.find_first_of(";,"));
    return std::string(Trim(value));
}

DocumentText TextOfCopy(std::string_view bytes, TextForm form, std::string_view declaredCharset) {
    DocumentText result;
    std::string charset;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        charset = "utf-8";
        bytes.remove_prefix(3);
    } else if (bytes.starts_with("\xFF\xFE")) {
        charset = "utf-16le";
        bytes.remove_prefix(2);
    } else if (bytes.starts_with("\xFE\xFF")) {
        charset = "utf-16be";
        bytes.remove_prefix(2);
    } else if (memchr(bytes.data(), '\0', std::min(bytes.size(), kBinaryProbe))) {
        result.binary = true;
        return result;
    }
    if (charset.empty() && !declaredCharset.empty()) charset = CanonicalCharset(declaredCharset);
    if (charset.empty() && form == TextForm::Page) charset = MetaCharset(bytes);
    std::optional<std::string> utf8;
    if (!charset.empty()) utf8 = ToUtf8(bytes, charset, false);
    if (!utf8) {
        charset = "utf-8";
        utf8 = ToUtf8(bytes, charset, true);
    }
    if (!utf8) {
        charset = "windows-1252";
        utf8 = ToUtf8(bytes, charset, false);
    }
    result.charset = charset;
    if (!utf8) return result;
    result.text = form == TextForm::Page ? PageText(*utf8) : PlainText(*utf8);
    return result;
}

BinaryChange DescribeBinaryChange(std::string_view oldBytes, std::string_view newBytes) {
    BinaryChange change{oldBytes.size(), newBytes.size(), std::nullopt};
    auto [a, b] = std::mismatch(oldBytes.begin(), oldBytes.end(), newBytes.begin(), newBytes.end());
    if (a != oldBytes.end() || b != newBytes.end())
        change.firstDifference = static_cast<uint64_t>(a - oldBytes.begin());
    return change;
}

}  // namespace wardlet
