#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace wardlet {

// How a stored copy is read for its text.
enum class TextForm {
    Page,  // a web page: HTML as a reader sees it
    File,  // any other document: plain text as it is, unless its bytes are binary
};

// The text of a copy, in UTF-8 with LF line ends; `binary` when it has none.
struct DocumentText {
    bool binary = false;
    std::string text;
    std::string charset;  // the charset the bytes were read in ("" for binary)
};

// `declaredCharset` is the charset the server named for the copy ("" when none). The charset
// is, in this order: a byte order mark, the declared one, a page's <meta> charset, UTF-8 when the
// bytes are valid UTF-8, else windows-1252. A page drops script, style, noscript, template and
// comments, breaks lines at block elements and <br>, collapses white space and decodes character
// references. A NUL byte in its first 8000 bytes makes a file binary (not a UTF-16 one).
DocumentText TextOfCopy(std::string_view bytes, TextForm form, std::string_view declaredCharset);

// The first step of TextOfCopy: the copy's bytes in UTF-8 (line ends as they are), read in the
// charset chosen by the same rule; `binary` with no text. Bytes that are UTF-8 already are not
// copied: the text is then a view of them (past a byte order mark), valid as long as they are.
struct DecodedCopy {
    bool binary = false;
    std::string charset;
    std::string_view original;
    std::optional<std::string> converted;  // bytes of another charset, or not well-formed
    std::string_view text() const { return converted ? std::string_view(*converted) : original; }
};
DecodedCopy DecodeCopy(std::string_view bytes, TextForm form, std::string_view declaredCharset);

// TextOfCopy of two copies; large ones are read at the same time, on two threads.
std::pair<DocumentText, DocumentText> TextsOfCopies(std::string_view oldBytes,
                                                    std::string_view newBytes, TextForm form,
                                                    std::string_view declaredCharset);

// The charset parameter of a Content-Type header value ("" when it names none).
std::string CharsetOfContentType(std::string_view contentType);

// Two binary copies told apart by their sizes and the first offset where they differ (none
// when they are the same).
struct BinaryChange {
    uint64_t oldSize = 0;
    uint64_t newSize = 0;
    std::optional<uint64_t> firstDifference;
};
BinaryChange DescribeBinaryChange(std::string_view oldBytes, std::string_view newBytes);

}  // namespace wardlet
