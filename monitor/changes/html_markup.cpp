#include "monitor/changes/html_markup.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>

namespace wardlet {

xmlParserCtxtPtr NewUtf8PageParser(std::string_view utf8Page) {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    if (utf8Page.empty()) return nullptr;
    int size = static_cast<int>(std::min<size_t>(utf8Page.size(), INT32_MAX));
    htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(utf8Page.data(), size);
    if (!context) throw std::bad_alloc();
    htmlCtxtUseOptions(context, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                    HTML_PARSE_NONET | HTML_PARSE_COMPACT | HTML_PARSE_NOBLANKS |
                                    HTML_PARSE_IGNORE_ENC);
    xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
    return context;
}

void AppendSelectedNode(xmlDocPtr doc, xmlNodePtr node, std::string& out) {
    if (node->type == XML_ELEMENT_NODE) {
        xmlBufferPtr buffer = xmlBufferCreate();
        if (!buffer) throw std::bad_alloc();
        xmlOutputBufferPtr output = xmlOutputBufferCreateBuffer(buffer, nullptr);
        if (output) {
            htmlNodeDumpFormatOutput(output, doc, node, "UTF-8", 0);
            xmlOutputBufferClose(output);
        }
        out.append(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                   static_cast<size_t>(xmlBufferLength(buffer)));
        xmlBufferFree(buffer);
    } else if (xmlChar* content = xmlNodeGetContent(node)) {
        out += reinterpret_cast<const char*>(content);
        xmlFree(content);
    }
    out += '\n';
}

}  // namespace wardlet
