#pragma once

#include <string>

struct _xmlDoc;
struct _xmlNode;

namespace wardlet {

// What a selected node of an HTML parse compares as: an element's markup (or any other node's
// text) in UTF-8, on a line of its own.
void AppendSelectedNode(_xmlDoc* doc, _xmlNode* node, std::string& out);

}  // namespace wardlet
