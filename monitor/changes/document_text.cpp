#include "monitor/changes/document_text.h"

#include <iconv.h>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

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

// How many bytes of `bytes` are well-formed UTF-8 from the start (no overlong forms,
// surrogates or code points past U+10FFFF).
size_t Utf8Prefix(std::string_view bytes) {
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* at = begin;
    const unsigned char* end = at + bytes.size();
    while (at < end) {
        // Plain ASCII, eight bytes at a time.
        while (end - at >= 8) {
            uint64_t word;
            memcpy(&word, at, 8);
            if (word & 0x8080808080808080u) break;
            at += 8;
        }
        if (at == end) break;
        unsigned char c = *at;
        if (c < 0x80) {
            ++at;
            continue;
        }
        size_t length;
        unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            break;
        }
        if (static_cast<size_t>(end - at) < length || at[1] < low || at[1] > high) break;
        size_t i = 2;
        while (i < length && (at[i] & 0xC0) == 0x80)
            ++i;
        if (i < length) break;
        at += length;
    }
    return static_cast<size_t>(at - begin);
}

// Pages mostly are UTF-8, and then need no conversion.
bool IsUtf8(std::string_view bytes) {
    return Utf8Prefix(bytes) == bytes.size();
}

// `bytes` with every byte that starts no well-formed sequence replaced by U+FFFD. (iconv lets
// the old five- and six-byte forms through, which no UTF-8 reader takes.)
std::string RepairedUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    while (!bytes.empty()) {
        size_t valid = Utf8Prefix(bytes);
        out.append(bytes.data(), valid);
        bytes.remove_prefix(valid);
        if (bytes.empty()) break;
        out += "\xEF\xBF\xBD";
        bytes.remove_prefix(1);
    }
    return out;
}

// `bytes` in `charset` as UTF-8 into `copy`: the bytes themselves when they are UTF-8 already,
// else converted. A byte that is no character there becomes U+FFFD unless `strict`, and then the
// conversion fails. False when the charset is unknown too.
bool ToUtf8(std::string_view bytes, const std::string& charset, bool strict, DecodedCopy& copy) {
    if (charset == "utf-8") {
        if (IsUtf8(bytes)) {
            copy.original = bytes;
            return true;
        }
        if (strict) return false;
        copy.converted = RepairedUtf8(bytes);
        return true;
    }
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
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
        if (strict) return false;
        // An invalid or cut-short sequence: one byte stands for one replacement character.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    copy.converted = IsUtf8(out) ? std::move(out) : RepairedUtf8(out);
    return true;
}

// What an element means to the text. The HTML parser hands its names over in lower case.
enum class Element : uint8_t { Other, Block, Break, Dropped, Preformatted };

Element KindOf(std::string_view name) {
    // By length first: a page has many elements, and most lengths hold few names.
    static const auto kinds = [] {
        constexpr std::string_view blocks[] = {
            "address", "article", "aside",  "blockquote", "body", "caption",  "dd",
            "details", "dialog",  "div",    "dl",         "dt",   "fieldset", "figcaption",
            "figure",  "footer",  "form",   "h1",         "h2",   "h3",       "h4",
            "h5",      "h6",      "header", "hgroup",     "hr",   "html",     "li",
            "main",    "nav",     "ol",     "option",     "p",    "section",  "summary",
            "table",   "tbody",   "td",     "tfoot",      "th",   "thead",    "title",
            "tr",      "ul"};
        std::array<std::vector<std::pair<std::string_view, Element>>, 11> byLength;
        for (std::string_view block : blocks)
            byLength[block.size()].push_back({block, Element::Block});
        for (std::string_view dropped : {"script", "style", "noscript", "template"})
            byLength[dropped.size()].push_back({dropped, Element::Dropped});
        byLength[2].push_back({"br", Element::Break});
        byLength[3].push_back({"pre", Element::Preformatted});
        return byLength;
    }();
    if (name.size() >= kinds.size()) return Element::Other;
    for (const auto& [known, kind] : kinds[name.size()])
        if (known == name) return kind;
    return Element::Other;
}

// Lines of a page's text as they are built: white space collapsed, empty lines left out. The
// text is built in place: the line being built is the tail after `lineStart_`.
class TextLines {
public:
    void Add(std::string_view text, bool preformatted) {
        if (preformatted) return AddPreformatted(text);
        const char* at = text.data();
        const char* end = at + text.size();
        while (at < end) {
            if (IsSpace(*at)) {
                space_ = true;
                ++at;
                continue;
            }
            const char* word = at;
            while (at < end && !IsSpace(*at))
                ++at;
            if (space_ && text_.size() > lineStart_) text_ += ' ';
            space_ = false;
            text_.append(word, static_cast<size_t>(at - word));
        }
    }
    void Break() {
        while (text_.size() > lineStart_ && text_.back() == ' ')
            text_.pop_back();
        if (text_.size() > lineStart_) text_ += '\n';
        lineStart_ = text_.size();
        space_ = false;
    }
    std::string Take() {
        Break();
        return std::move(text_);
    }

private:
    static bool IsSpace(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    }
    void AddPreformatted(std::string_view text) {
        for (char c : text) {
            if (c == '\n') {
                Break();
            } else if (c != '\r') {
                text_ += c;
            }
        }
    }

    std::string text_;
    size_t lineStart_ = 0;
    bool space_ = false;
};

// A page read as events: no tree is built, which for a large page costs more than the parse.
struct PageReader {
    TextLines lines;
    int dropped = 0;  // inside script, style, noscript or template
    int preformatted = 0;
    std::string metaCharset;
};

const char* Text(const xmlChar* text) {
    return reinterpret_cast<const char*>(text);
}

void StartElement(void* context, const xmlChar* tag, const xmlChar**) {
    auto* reader = static_cast<PageReader*>(static_cast<htmlParserCtxtPtr>(context)->_private);
    Element kind = KindOf(Text(tag));
    if (kind == Element::Dropped) {
        ++reader->dropped;
        return;
    }
    if (reader->dropped || kind == Element::Other) return;
    reader->lines.Break();  // a block, a preformatted block or <br>
    if (kind == Element::Preformatted) ++reader->preformatted;
}

void EndElement(void* context, const xmlChar* tag) {
    auto* reader = static_cast<PageReader*>(static_cast<htmlParserCtxtPtr>(context)->_private);
    Element kind = KindOf(Text(tag));
    if (kind == Element::Dropped) {
        reader->dropped = std::max(0, reader->dropped - 1);
        return;
    }
    if (reader->dropped || kind == Element::Other || kind == Element::Break) return;
    reader->lines.Break();
    if (kind == Element::Preformatted) reader->preformatted = std::max(0, reader->preformatted - 1);
}

void Characters(void* context, const xmlChar* text, int size) {
    auto* reader = static_cast<PageReader*>(static_cast<htmlParserCtxtPtr>(context)->_private);
    if (reader->dropped || size <= 0) return;
    reader->lines.Add(std::string_view(Text(text), static_cast<size_t>(size)),
                      reader->preformatted > 0);
}

std::string_view AttributeOf(const xmlChar** attributes, const char* name) {
    for (; attributes && attributes[0]; attributes += 2)
        if (strcasecmp(Text(attributes[0]), name) == 0)
            return attributes[1] ? Text(attributes[1]) : "";
    return {};
}

void FindMetaCharset(void* context, const xmlChar* tag, const xmlChar** attributes) {
    auto* reader = static_cast<PageReader*>(static_cast<htmlParserCtxtPtr>(context)->_private);
    if (!reader->metaCharset.empty() || strcasecmp(Text(tag), "meta") != 0) return;
    std::string_view charset = AttributeOf(attributes, "charset");
    if (charset.empty() &&
        strcasecmp(std::string(AttributeOf(attributes, "http-equiv")).c_str(), "content-type") == 0)
        reader->metaCharset = CharsetOfContentType(AttributeOf(attributes, "content"));
    else
        reader->metaCharset = std::string(charset);
}

void IgnoreMessage(void*, const char*, ...) {}

void ReadPage(std::string_view bytes, const char* encoding, PageReader& reader, bool metaOnly) {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    htmlSAXHandler sax{};
    if (metaOnly) {
        sax.startElement = FindMetaCharset;
    } else {
        sax.startElement = StartElement;
        sax.endElement = EndElement;
        sax.characters = Characters;
        sax.ignorableWhitespace = Characters;
        sax.cdataBlock = Characters;
    }
    sax.warning = IgnoreMessage;
    sax.error = IgnoreMessage;
    int size = static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX));
    htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(bytes.data(), size);
    if (!context) return;
    // The handler replaces the tree builder; the context frees its own copy of it.
    memcpy(context->sax, &sax, sizeof sax);
    context->_private = &reader;
    context->userData = context;
    htmlCtxtUseOptions(context, kParseOptions);
    // UTF-8 is read as it is; anything else through a conversion of the parser's own.
    if (strcmp(encoding, "UTF-8") == 0)
        xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
    else if (xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding))
        xmlSwitchToEncoding(context, handler);
    htmlParseDocument(context);
    htmlFreeParserCtxt(context);
}

// The charset a page's <meta charset> or <meta http-equiv="Content-Type"> names.
std::string MetaCharset(std::string_view bytes) {
    bytes = bytes.substr(0, kMetaProbe);
    // Both forms of the declaration spell "charset": a page without the word is not parsed.
    if (!memmem(Lower(bytes).data(), bytes.size(), "charset", 7)) return "";
    // Read as Latin-1, every byte one character: the markup is ASCII in every charset that matters.
    PageReader reader;
    ReadPage(bytes, "ISO-8859-1", reader, true);
    return reader.metaCharset.empty() ? "" : CanonicalCharset(reader.metaCharset);
}

std::string PageText(std::string_view utf8) {
    PageReader reader;
    ReadPage(utf8, "UTF-8", reader, false);
    return reader.lines.Take();
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

DecodedCopy DecodeCopy(std::string_view bytes, TextForm form, std::string_view declaredCharset) {
    DecodedCopy result;
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
    bool read = !charset.empty() && ToUtf8(bytes, charset, false, result);
    if (!read) {
        charset = "utf-8";
        read = ToUtf8(bytes, charset, true, result);
    }
    if (!read) {
        charset = "windows-1252";
        ToUtf8(bytes, charset, false, result);
    }
    result.charset = charset;
    return result;
}

DocumentText TextOfCopy(std::string_view bytes, TextForm form, std::string_view declaredCharset) {
    DecodedCopy decoded = DecodeCopy(bytes, form, declaredCharset);
    DocumentText result;
    result.binary = decoded.binary;
    result.charset = std::move(decoded.charset);
    if (result.binary) return result;
    result.text = form == TextForm::Page ? PageText(decoded.text()) : PlainText(decoded.text());
    return result;
}

std::pair<DocumentText, DocumentText> TextsOfCopies(std::string_view oldBytes,
                                                    std::string_view newBytes, TextForm form,
                                                    std::string_view declaredCharset) {
    constexpr size_t kWorthAThread = 1 << 20;
    if (oldBytes.size() >= kWorthAThread && newBytes.size() >= kWorthAThread) {
        try {
            auto older = std::async(std::launch::async,
                                    [&] { return TextOfCopy(oldBytes, form, declaredCharset); });
            DocumentText newer = TextOfCopy(newBytes, form, declaredCharset);
            return {older.get(), std::move(newer)};
        } catch (const std::system_error&) {  // no thread to be had: one after the other
        }
    }
    return {TextOfCopy(oldBytes, form, declaredCharset),
            TextOfCopy(newBytes, form, declaredCharset)};
}

BinaryChange DescribeBinaryChange(std::string_view oldBytes, std::string_view newBytes) {
    BinaryChange change{oldBytes.size(), newBytes.size(), std::nullopt};
    auto [a, b] = std::mismatch(oldBytes.begin(), oldBytes.end(), newBytes.begin(), newBytes.end());
    if (a != oldBytes.end() || b != newBytes.end())
        change.firstDifference = static_cast<uint64_t>(a - oldBytes.begin());
    return change;
}

}  // namespace wardlet
