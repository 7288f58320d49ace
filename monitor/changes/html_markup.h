#pragma once

#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;
struct _xmlParserCtxt;

namespace wardlet {

// An HTML parser over a page already in UTF-8, read as it is: no conversion and no <meta>
// charset, for libxml2's converting input can read the same page differently from one parse to
// the next. Null for an empty page; htmlFreeParserCtxt frees it (not its document).
_xmlParserCtxt* NewUtf8PageParser(std::string_view utf8Page);

// What a selected node of an HTML parse compares as: an element's markup (or any other node's
// text) in UTF-8, on a line of its own.
void AppendSelectedNode(_xmlDoc* doc, _xmlNode* node, std::string& out);

}  // namespace wardlet
