#pragma once

// The properties dialog over a table, a temporary data folder and the seams tests answer.
// The document properties dialog on the offscreen platform: opening states, the click table,
// Apply's messages in order, the action button, and the FTP connection test against pyftpdlib.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <set>

#include "common/little_endian.h"
#include "dialog_test_support.h"
#include "file_bytes.h"
#include "loopback_socket.h"
#include "monitor/dialogs/document_properties_dialog.h"
#include "peer_process.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {

const char* const kControls[] = {"methodSimple",  "methodCount",     "countEdit",
                                 "methodMiddle",  "middleStartEdit", "andLabel",
                                 "middleEndEdit", "accountCheck",    "userNameLabel",
                                 "userNameEdit",  "passwordLabel",   "passwordEdit"};
const char* const kCheckables[] = {"typeWebPage",  "typeWebFile", "typeFtpFile",  "typeLocalFile",
                                   "methodSimple", "methodCount", "methodMiddle", "accountCheck"};

class ChosenFile : public FileChooser {
public:
    std::optional<std::string> ChooseExistingFile(QWidget*) override {
        ++asked;
        return answer;
    }
    std::optional<std::string> answer;
    int asked = 0;
};

class PropertiesDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<DocumentPropertiesDialog> Open(PropertiesMode mode, size_t slot = 0,
                                                   bool productLimits = false) {
        PropertiesContext context{table_, data_, messages_, opener_, files_};
        if (!productLimits) {
            context.limits.connectTimeoutSeconds = 5;
            context.limits.lowSpeedSeconds = 5;
        }
        auto dialog = std::make_unique<DocumentPropertiesDialog>(context, mode, slot);
        dialog->show();
        return dialog;
    }
    size_t AddRecord(DocumentType type, const std::string& name, const std::string& location,
                     const std::function<void(DocumentRecord&)>& more = {}) {
        DocumentRecord r{};
        r.type = static_cast<int32_t>(type);
        SetFieldText(r.name, name);
        SetFieldText(r.location, location);
        if (more) more(r);
        return table_.Add(r);
    }
    static void Click(QWidget* dialog, const char* name) {
        Find<QAbstractButton>(dialog, name)->click();
    }
    static void Type(QWidget* dialog, const char* name, const std::string& text) {
        Find<QLineEdit>(dialog, name)->setText(QString::fromStdString(text));
    }
    static std::string Text(QWidget* dialog, const char* name) {
        return Find<QLineEdit>(dialog, name)->text().toStdString();
    }
    // "caption | label | enabled controls | checked controls"
    static std::string Snapshot(QWidget* dialog) {
        std::string s = Find<QPushButton>(dialog, "actionButton")->text().toStdString() + " | " +
                        Find<QLabel>(dialog, "locationLabel")->text().toStdString() + " |";
        for (const char* name : kControls)
            if (Find<QWidget>(dialog, name)->isEnabled()) s += std::string(" ") + name;
        s += " |";
        for (const char* name : kCheckables)
            if (Find<QAbstractButton>(dialog, name)->isChecked()) s += std::string(" ") + name;
        return s;
    }
    std::string LastMessage() {
        if (messages_.shown.empty()) return "";
        EXPECT_EQ(messages_.shown.back().icon, MessageIcon::Information);
        return messages_.shown.back().text;
    }
    std::string ApplyMessage(QWidget* dialog) {
        messages_.shown.clear();
        Click(dialog, "applyButton");
        return messages_.shown.empty() ? "applied" : LastMessage();
    }
    std::set<std::string> TempFiles() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(data_)) {
            auto name = entry.path().filename().string();
            if (name.rfind("UVP", 0) == 0) names.insert(name);
        }
        return names;
    }

    TempDataHome home_;
    std::filesystem::path data_ = home_.makeDataFolder();
    DocumentTable table_;
    ScriptedMessageBoxes messages_;
    RecordingOpener opener_;
    ChosenFile files_;
};

const std::string kWebBase = " | URL: | methodSimple methodCount methodMiddle accountCheck |";
const std::string kAccountFields = " userNameLabel userNameEdit passwordLabel passwordEdit";

}  // namespace wardlet::test
