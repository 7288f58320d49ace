#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/changes/change_view.h"
#include "monitor/model/version_history.h"
#include "temp_home.h"

namespace wardlet::test {

// A web page ("Doc" unless named) in a fresh data folder whose copies are stored as a check
// commits them, the replaced one kept as a version.
struct VersionsFixture : ::testing::Test {
    TempDataHome home;
    std::filesystem::path folder = home.makeDataFolder();
    DocumentTable table;
    DocumentStore store{folder, table};
    DocumentRecord record{};
    std::string name;

    explicit VersionsFixture(std::string documentName = "Doc") : name(std::move(documentName)) {
        record.type = static_cast<int32_t>(DocumentType::WebPage);
        SetFieldText(record.name, name);
    }
    // A check's commit of a changed copy.
    void Store(const std::string& bytes, const VersionBounds& bounds = {}) {
        std::filesystem::path fresh = folder / "UVPnew.tmp";
        WriteBytes(fresh, bytes);
        ASSERT_TRUE(KeepReplacedCopy(store.HistoryOf(name), store.ContentFile(name), bounds));
        ASSERT_EQ(std::rename(fresh.c_str(), store.ContentFile(name).c_str()), 0);
    }
    ChangeView View() const { return ChangeView(store, record); }
};

}  // namespace wardlet::test
