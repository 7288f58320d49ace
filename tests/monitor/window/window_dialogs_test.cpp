#include "window_fixture.h"

namespace wardlet::test {
namespace {

TEST_F(WindowTest, AboutBoxShowsTheVersionAndCloses) {
    bool timedOut = false;
    bool seen = false;
    WatchModal(
        [&](QWidget* box) {
            EXPECT_EQ(box->windowTitle(), "Wardlet");
            auto* version = box->findChild<QLabel*>("aboutVersion");
            EXPECT_TRUE(version && version->text() == "7.0.4");
            auto* icon = box->findChild<QLabel*>("aboutIcon");
            EXPECT_TRUE(icon && !icon->pixmap().isNull());
            auto* close = box->findChild<QPushButton*>("close");
            EXPECT_TRUE(close && close->text() == "Close");
            seen = true;
            if (close) close->click();
            return true;
        },
        &timedOut);
    RunAboutBox(nullptr);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(timedOut);
}

TEST_F(WindowTest, SaveAsDialogStartsInTheFolderAndAsksBeforeReplacing) {
    TempDir folder;
    WriteBytes(folder.path() / "there.txt", "old");
    bool timedOut = false;
    bool asked = false;
    bool accepted = false;
    WatchModal(
        [&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked = true;
                box->button(QMessageBox::Yes)->click();
                return true;
            }
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog) return false;
            EXPECT_EQ(dialog->windowTitle(), "Save As...");
            EXPECT_EQ(dialog->nameFilters(), QStringList{"All Files (*.*)"});
            EXPECT_EQ(dialog->directory().absolutePath().toStdString(), folder.path().string());
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (name && name->text() != "there.txt") name->setText("there.txt");
            // Queued: the question it asks is a modal of its own, answered on a later tick.
            if (!accepted) QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            accepted = true;
            return false;
        },
        &timedOut);
    auto chosen = RunSaveAsDialog(nullptr, folder.path());
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(asked);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, folder.path() / "there.txt");
}

TEST_F(WindowTest, EmailSettingsAreInForceWhenWrittenAndOneOptionsDialogAtATime) {
    Start();
    bool timedOut = false;
    int step = 0;
    int optionsShown = 0;
    std::string inForceWhileOpen;
    WatchModal(
        [&](QWidget* w) {
            if (w->windowTitle() == "Options") ++optionsShown;
            if (step == 0 && w->windowTitle() == "Options") {
                auto* send = w->findChild<QCheckBox*>("sendEmail");
                if (!send->isChecked()) send->click();
                QTimer::singleShot(0, w->findChild<QPushButton*>("emailPropertiesButton"),
                                   &QPushButton::click);
                step = 1;
            } else if (step == 1 && w->windowTitle() == "Email Properties") {
                w->findChild<QLineEdit*>("serverEdit")->setText("mail.example.com");
                w->findChild<QLineEdit*>("toEdit")->setText("me@example.com");
                w->findChild<QCheckBox*>("sendOnChangeCheck")->setChecked(true);
                w->findChild<QPushButton*>("applyButton")->click();
                step = 2;
            } else if (step == 2 && w->windowTitle() == "Options") {
                inForceWhileOpen = FieldText(app_->doc().mailConfig().smtpServer);
                step = 3;
                // "Options" from the tray while this dialog is open: refused, no second one.
                app_->tray().menu().findChild<QAction*>("trayOptions")->trigger();
                w->findChild<QPushButton*>("cancelButton")->click();
                return true;
            }
            return false;
        },
        &timedOut);
    app_->frame().action(CommandId::Options).trigger();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(inForceWhileOpen, "mail.example.com");
    EXPECT_EQ(FieldText(app_->doc().mailConfig().smtpServer), "mail.example.com");
    EXPECT_EQ(step, 3);
}

// Save As and Open with the real background copies.
class CopyWindowTest : public WindowTest {
protected:
    CopyWindowTest() { dialogs_ = &fakeDialogs_; }
    FakeCommandDialogs fakeDialogs_;
};

TEST_F(CopyWindowTest, ABigSaveAsKeepsTheEventLoopTurning) {
    WriteDocument(DocumentType::LocalFile, "big", "/srv/big.bin", DocumentStatus::Checked);
    constexpr uintmax_t kSize = 200u << 20;
    WriteBytes(data_ / "big.content", "head");
    std::filesystem::resize_file(data_ / "big.content", kSize);  // sparse: quick to make
    Start();
    app_->view().selectionModel()->select(app_->model().index(0, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    TempDir target;
    fakeDialogs_.saveAs.push_back(target.path() / "big.bin");
    bool saving = false;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks += saving ? 1 : 0; });
    timer.start(5);
    saving = true;
    app_->frame().action(CommandId::SaveAs).trigger();
    saving = false;
    EXPECT_GT(ticks, 0) << "no timer fired during the copy";
    EXPECT_EQ(std::filesystem::file_size(target.path() / "big.bin"), kSize);
    EXPECT_EQ(ReadBytes(target.path() / "big.bin").substr(0, 4), "head");
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST(BackgroundCopiesTest, ALongCopyShowsItsProgressAndItsCancelStopsIt) {
    QtBackgroundCopies copies(nullptr);
    // A quick copy ends before any dialog shows.
    EXPECT_EQ(copies.Run("quick", [](const CopyProgress&) { return CopyOutcome::Done; }),
              CopyOutcome::Done);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    bool timedOut = false;
    QString label;
    WatchModal(
        [&](QWidget* w) {
            auto* dialog = qobject_cast<QProgressDialog*>(w);
            if (!dialog || dialog->objectName() != "copyProgressDialog") return false;
            if (dialog->value() <= 0) return false;  // until it shows how far the copy is
            label = dialog->labelText();
            EXPECT_EQ(dialog->windowTitle(), "Wardlet - Calvorne");
            dialog->findChild<QPushButton*>()->click();  // its only button: Cancel
            return true;
        },
        &timedOut);
    std::atomic<uint64_t> stoppedAt{0};
    CopyOutcome outcome = copies.Run(kSavingCaption, [&](const CopyProgress& progress) {
        // A slow disk: a block every millisecond until the user cancels.
        constexpr uint64_t kTotal = uint64_t(1) << 40;
        uint64_t done = 0;
        while (progress(done, kTotal) && done < kTotal) {
            done += uint64_t(1) << 24;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stoppedAt = done;
        return done < kTotal ? CopyOutcome::Cancelled : CopyOutcome::Done;
    });
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(outcome, CopyOutcome::Cancelled);
    EXPECT_EQ(label, kSavingCaption);
    EXPECT_GT(stoppedAt.load(), 0u);
}

TEST(SingleInstanceTest, AListenThatFailsIsSaidAndTheMonitorGoesOn) {
    TempDir data;
    // Something that is no socket where the socket goes: it cannot be replaced.
    std::filesystem::create_directory(data.path() / "Wardlet.instance");
    SingleInstance instance(data.path());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(instance.ListenOrReport());
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Wardlet: cannot listen for a second start"), std::string::npos) << said;
    EXPECT_TRUE(std::filesystem::is_directory(data.path() / "Wardlet.instance"));
}

TEST_F(WindowTest, SaveAsListsFilesWithoutADot) {
    TempDir folder;
    WriteBytes(folder.path() / "README", "no dot");
    WriteBytes(folder.path() / "notes.txt", "a dot");
    bool timedOut = false;
    bool listed = false;
    WatchModal(
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* list = dialog ? dialog->findChild<QListView*>("listView") : nullptr;
            if (!list || !list->model()) return false;
            QStringList names;
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                names << list->model()->index(row, 0, list->rootIndex()).data().toString();
            if (!names.contains("notes.txt")) return false;  // still loading the folder
            listed = names.contains("README");
            dialog->reject();
            return true;
        },
        &timedOut);
    EXPECT_FALSE(RunSaveAsDialog(nullptr, folder.path()).has_value());
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(listed);
}

TEST(InstalledManualTest, TheBuildPutsTheManualBesideTheProgram) {
    std::filesystem::path bin = QCoreApplication::applicationDirPath().toStdString();
    std::filesystem::path manual = ManualFile(bin);
    ASSERT_TRUE(std::filesystem::exists(manual)) << manual;
    std::string html = ReadBytes(manual);
    EXPECT_NE(html.find("<title>Wardlet User's Manual</title>"), std::string::npos);
    EXPECT_EQ(MakeHelpPages(bin).manual, "file://" + manual.string());
}

}  // namespace
}  // namespace wardlet::test
