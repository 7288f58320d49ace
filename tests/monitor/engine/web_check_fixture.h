#pragma once

#include <functional>
#include <string>

#include "engine_fixture.h"

namespace wardlet::test {

using Status = DocumentStatus;

// Checks of web pages served by a loopback HTTP peer.
class WebCheckTest : public EngineTest {
protected:
    HttpPeer peer_;

    size_t AddPage(const std::string& name, const std::function<void(DocumentRecord&)>& more = {},
                   DocumentType type = DocumentType::WebPage) {
        return AddDocument(type, name, peer_.Url(name), more);
    }
};

}  // namespace wardlet::test
