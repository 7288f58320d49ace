#include "monitor/changes/html_markup.h"

#include <libxml/HTMLtree.h>

#include <new>

namespace wardlet {

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
