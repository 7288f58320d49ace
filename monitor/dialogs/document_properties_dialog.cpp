#include "monitor/dialogs/document_properties_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "monitor/changes/page_filters.h"
#include "monitor/dialogs/qt_text.h"

namespace wardlet {
namespace {

constexpr int kTextLimit = 511;

const char* TitleOf(PropertiesMode mode) {
    switch (mode) {
        case PropertiesMode::Add:
            return "Add Document";
        case PropertiesMode::Edit:
            return "Document Properties";
        case PropertiesMode::Copy:
            return "Copy Document";
    }
    return "";
}

template <typename Widget>
Widget* Named(Widget* widget, const char* objectName) {
    widget->setObjectName(objectName);
    return widget;
}

}  // namespace

DocumentPropertiesDialog::DocumentPropertiesDialog(const PropertiesContext& context,
                                                   PropertiesMode mode, size_t slot,
                                                   QWidget* parent)
    : QDialog(parent), context_(context), mode_(mode), slot_(slot) {
    setWindowTitle(TitleOf(mode));
    BuildControls();
    DocumentRecord selected{};
    if (mode != PropertiesMode::Add && slot < context.table.size())
        selected = context.table.Get(slot);
    PropertiesOpening opening = OpenProperties(mode, selected);
    state_ = opening.state;
    ShowTexts(opening.texts);
    openingLocation_ = opening.texts.location;
    if (mode != PropertiesMode::Add && context.filters.state == FiltersLoad::State::Loaded)
        openingFilters_ = context.filters.filters;
    openingDamaged_ =
        mode != PropertiesMode::Add && context.filters.state == FiltersLoad::State::Damaged;
    ShowFilterTexts(TextsOfFilters(openingFilters_));
    ShowState();
    infoText_->setText(FromLocal8Bit(TypeExample(state_.type)));
    if (openingDamaged_)
        infoText_->setText(FromLocal8Bit("The filters of this document cannot be read (" +
                                         context.filters.problem +
                                         "), so it is checked without them. New ones on the "
                                         "\"Filters\" tab replace them."));
    // Typing goes to the first text to fill in, not to the first radio button: a copy is
    // usually of another address.
    (mode == PropertiesMode::Copy ? locationEdit_ : nameEdit_)->setFocus();
}

DocumentPropertiesDialog::~DocumentPropertiesDialog() {
    StopFtpTest();
    StopTrial();
}

void DocumentPropertiesDialog::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    tabs_ = Named(new QTabWidget(this), "tabs");
    auto* page = new QWidget(tabs_);
    auto* pageLayout = new QVBoxLayout(page);

    auto* document = new QGroupBox("Document Information", page);
    auto* grid = new QGridLayout(document);
    auto* types = new QButtonGroup(this);
    const char* typeNames[4] = {"typeWebPage", "typeWebFile", "typeFtpFile", "typeLocalFile"};
    const char* typeCaptions[4] = {"Web Page", "Web File", "FTP File", "Local File"};
    auto* typeRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        typeRadios_[i] = Named(new QRadioButton(typeCaptions[i], document), typeNames[i]);
        types->addButton(typeRadios_[i], i);
        typeRow->addWidget(typeRadios_[i]);
        connect(typeRadios_[i], &QRadioButton::clicked, this, [this, i] {
            ClickType(state_, static_cast<DocumentType>(i));
            ShowState();
            infoText_->setText(FromLocal8Bit(TypeExample(state_.type)));
        });
    }
    grid->addLayout(typeRow, 0, 0, 1, 3);
    grid->addWidget(new QLabel("Display Name:", document), 1, 0);
    nameEdit_ = NewLineEdit("nameEdit", kTextLimit, document);
    grid->addWidget(nameEdit_, 1, 1, 1, 2);
    locationLabel_ = Named(new QLabel("URL:", document), "locationLabel");
    grid->addWidget(locationLabel_, 2, 0);
    locationEdit_ = NewLineEdit("locationEdit", kTextLimit, document);
    grid->addWidget(locationEdit_, 2, 1);
    actionButton_ = Named(new QPushButton("&Open...", document), "actionButton");
    actionButton_->setAutoDefault(false);
    connect(actionButton_, &QPushButton::clicked, this, &DocumentPropertiesDialog::Action);
    grid->addWidget(actionButton_, 2, 2);
    accountCheck_ = Named(new QCheckBox("Account", document), "accountCheck");
    connect(accountCheck_, &QCheckBox::clicked, this, [this](bool checked) {
        ClickAccount(state_, checked);
        ShowState();
    });
    grid->addWidget(accountCheck_, 3, 0);
    userNameLabel_ = Named(new QLabel("Username:", document), "userNameLabel");
    grid->addWidget(userNameLabel_, 4, 0);
    userNameEdit_ = NewLineEdit("userNameEdit", kTextLimit, document);
    grid->addWidget(userNameEdit_, 4, 1, 1, 2);
    passwordLabel_ = Named(new QLabel("Password:", document), "passwordLabel");
    grid->addWidget(passwordLabel_, 5, 0);
    passwordEdit_ = NewLineEdit("passwordEdit", kTextLimit, document);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    grid->addWidget(passwordEdit_, 5, 1, 1, 2);
    pageLayout->addWidget(document);

    auto* method = new QGroupBox("Checking Method", page);
    auto* methodGrid = new QGridLayout(method);
    auto* methods = new QButtonGroup(this);
    const char* methodNames[3] = {"methodSimple", "methodCount", "methodMiddle"};
    const char* methodCaptions[3] = {
        "Simple Comparison", "Count for a Specific String:", "Middle String Comparison between "};
    for (int i = 0; i < 3; ++i) {
        methodRadios_[i] = Named(new QRadioButton(methodCaptions[i], method), methodNames[i]);
        methods->addButton(methodRadios_[i], i);
        methodGrid->addWidget(methodRadios_[i], i, 0);
        connect(methodRadios_[i], &QRadioButton::clicked, this, [this, i] {
            ClickMethod(state_, static_cast<CheckMethod>(i));
            ShowState();
        });
    }
    countEdit_ = NewLineEdit("countEdit", kTextLimit, method);
    methodGrid->addWidget(countEdit_, 1, 1, 1, 3);
    middleStartEdit_ = NewLineEdit("middleStartEdit", kTextLimit, method);
    methodGrid->addWidget(middleStartEdit_, 2, 1);
    andLabel_ = Named(new QLabel("and", method), "andLabel");
    methodGrid->addWidget(andLabel_, 2, 2);
    middleEndEdit_ = NewLineEdit("middleEndEdit", kTextLimit, method);
    methodGrid->addWidget(middleEndEdit_, 2, 3);
    pageLayout->addWidget(method);
    tabs_->addTab(page, "Document");
    tabs_->addTab(BuildFilters(), "Filters");
    layout->addWidget(tabs_);

    infoText_ = Named(new QLabel(this), "infoText");
    infoText_->setWordWrap(true);
    infoText_->setMinimumHeight(infoText_->fontMetrics().lineSpacing() * 5);
    layout->addWidget(infoText_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    applyButton_ = Named(new QPushButton("Apply", this), "applyButton");
    applyButton_->setDefault(true);
    connect(applyButton_, &QPushButton::clicked, this, &DocumentPropertiesDialog::Apply);
    auto* cancel = Named(new QPushButton("Cancel", this), "cancelButton");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(applyButton_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void DocumentPropertiesDialog::ShowState() {
    typeRadios_[static_cast<int>(state_.type)]->setChecked(true);
    methodRadios_[static_cast<int>(state_.method)]->setChecked(true);
    accountCheck_->setChecked(state_.account);
    for (auto* radio : methodRadios_)
        radio->setEnabled(state_.methodRadiosEnabled);
    countEdit_->setEnabled(state_.countEditEnabled);
    middleStartEdit_->setEnabled(state_.middleEnabled);
    andLabel_->setEnabled(state_.middleEnabled);
    middleEndEdit_->setEnabled(state_.middleEnabled);
    accountCheck_->setEnabled(state_.accountEnabled);
    for (QWidget* field :
         {static_cast<QWidget*>(userNameLabel_), static_cast<QWidget*>(userNameEdit_),
          static_cast<QWidget*>(passwordLabel_), static_cast<QWidget*>(passwordEdit_)})
        field->setEnabled(state_.accountFieldsEnabled);
    actionButton_->setText(QString::fromLatin1(state_.actionCaption.c_str()));
    locationLabel_->setText(QString::fromLatin1(state_.locationLabel.c_str()));
    tabs_->setTabEnabled(1, FiltersApply(state_.type));
}

void DocumentPropertiesDialog::ShowTexts(const PropertiesTexts& texts) {
    nameEdit_->setText(FromLocal8Bit(texts.name));
    locationEdit_->setText(FromLocal8Bit(texts.location));
    userNameEdit_->setText(FromLocal8Bit(texts.userName));
    passwordEdit_->setText(FromLocal8Bit(texts.password));
    countEdit_->setText(FromLocal8Bit(texts.countString));
    middleStartEdit_->setText(FromLocal8Bit(texts.middleStart));
    middleEndEdit_->setText(FromLocal8Bit(texts.middleEnd));
}

PropertiesTexts DocumentPropertiesDialog::Texts() const {
    PropertiesTexts texts;
    texts.name = ToLocal8Bit(nameEdit_->text());
    texts.location = ToLocal8Bit(locationEdit_->text());
    texts.userName = ToLocal8Bit(userNameEdit_->text());
    texts.password = ToLocal8Bit(passwordEdit_->text());
    texts.countString = ToLocal8Bit(countEdit_->text());
    texts.middleStart = ToLocal8Bit(middleStartEdit_->text());
    texts.middleEnd = ToLocal8Bit(middleEndEdit_->text());
    return texts;
}

void DocumentPropertiesDialog::Refuse(std::string_view message) {
    context_.messages.Show(message, MessageIcon::Information);
}

void DocumentPropertiesDialog::Apply() {
    if (trialRunning()) return;
    EditorResult result = ApplyDocumentInput(InputOf(state_, Texts()), context_.table, mode_, slot_,
                                             context_.dataFolder);
    if (!result.ok) return Refuse(result.message);
    DocumentFilters filters;
    if (FiltersApply(state_.type)) filters = FiltersOfTexts(FilterTexts());
    if (!filters.empty())
        if (std::string problem = FiltersProblem(filters); !problem.empty()) {
            tabs_->setCurrentIndex(1);
            return Refuse(problem);
        }
    staged_ = result.staged;
    // A damaged file the user left alone stays as it is; a new filter set replaces it.
    stagedFilters_ =
        openingDamaged_ && filters.empty() ? std::nullopt : std::optional<DocumentFilters>(filters);
    // A selector new to this page is tried on the live page first: one that matches nothing
    // would only make the document "Unable to retrieve" at its next check.
    bool fresh = mode_ != PropertiesMode::Edit || filters != openingFilters_ ||
                 ToLocal8Bit(locationEdit_->text()) != openingLocation_;
    if (filters.selectorKind != DocumentFilters::Selector::None && fresh) return StartTrial(true);
    accept();
}

QWidget* DocumentPropertiesDialog::BuildFilters() {
    auto* page = new QWidget(tabs_);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel("Part of the page:", page), 0, 0);
    selectorKind_ = Named(new QComboBox(page), "selectorKind");
    selectorKind_->addItem("CSS selector");
    selectorKind_->addItem("XPath");
    grid->addWidget(selectorKind_, 0, 1);
    selectorEdit_ = NewLineEdit("selectorEdit", 4096, page);
    selectorEdit_->setPlaceholderText("e.g. div.price or #news > li (empty: the whole page)");
    grid->addWidget(selectorEdit_, 0, 2, 1, 2);
    textOnlyCheck_ = Named(new QCheckBox("&Text only: a change of markup alone is no change", page),
                           "textOnlyCheck");
    grid->addWidget(textOnlyCheck_, 1, 0, 1, 4);
    grid->addWidget(new QLabel("Ignore lines matching (RE2 patterns, one a line):", page), 2, 0, 1,
                    4);
    ignoreEdit_ = Named(new QPlainTextEdit(page), "ignoreEdit");
    ignoreEdit_->setTabChangesFocus(true);
    ignoreEdit_->setMaximumHeight(ignoreEdit_->fontMetrics().lineSpacing() * 4 + 12);
    grid->addWidget(ignoreEdit_, 3, 0, 1, 4);
    grid->addWidget(new QLabel("Trigger words:", page), 4, 0);
    triggerEdit_ = NewLineEdit("triggerEdit", 4096, page);
    triggerEdit_->setPlaceholderText("a change counts only with a line holding them");
    grid->addWidget(triggerEdit_, 4, 1, 1, 2);
    triggerRemovedCheck_ = Named(new QCheckBox("in &removed lines", page), "triggerRemovedCheck");
    grid->addWidget(triggerRemovedCheck_, 4, 3);
    tryButton_ = Named(new QPushButton("Tr&y", page), "tryButton");
    tryButton_->setAutoDefault(false);
    connect(tryButton_, &QPushButton::clicked, this, [this] { StartTrial(false); });
    grid->addWidget(tryButton_, 5, 0);
    trialHeading_ = Named(new QLabel(page), "trialHeading");
    trialHeading_->setWordWrap(true);
    grid->addWidget(trialHeading_, 5, 1, 1, 3);
    trialText_ = Named(new QTextEdit(page), "trialText");
    trialText_->setReadOnly(true);
    trialText_->setLineWrapMode(QTextEdit::NoWrap);
    trialText_->setTabChangesFocus(true);
    grid->addWidget(trialText_, 6, 0, 1, 4);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(6, 1);
    return page;
}

FiltersTexts DocumentPropertiesDialog::FilterTexts() const {
    FiltersTexts texts;
    texts.selectorKind = selectorKind_->currentIndex() == 1 ? DocumentFilters::Selector::XPath
                                                            : DocumentFilters::Selector::Css;
    // Selectors, patterns and words are compared as UTF-8, the pages' text.
    texts.selector = selectorEdit_->text().toStdString();
    texts.textOnly = textOnlyCheck_->isChecked();
    texts.ignoreLines = ignoreEdit_->toPlainText().toStdString();
    texts.trigger = triggerEdit_->text().toStdString();
    texts.triggerOnRemoved = triggerRemovedCheck_->isChecked();
    return texts;
}

void DocumentPropertiesDialog::ShowFilterTexts(const FiltersTexts& texts) {
    selectorKind_->setCurrentIndex(texts.selectorKind == DocumentFilters::Selector::XPath ? 1 : 0);
    selectorEdit_->setText(QString::fromStdString(texts.selector));
    textOnlyCheck_->setChecked(texts.textOnly);
    ignoreEdit_->setPlainText(QString::fromStdString(texts.ignoreLines));
    triggerEdit_->setText(QString::fromStdString(texts.trigger));
    triggerRemovedCheck_->setChecked(texts.triggerOnRemoved);
}

void DocumentPropertiesDialog::StartTrial(bool forApply) {
    if (trialRunning()) return;
    std::string location = ToLocal8Bit(locationEdit_->text());
    if (location.empty()) return Refuse("Please enter the URL or server address of the document.");
    if (!AccountGiven()) return;
    DocumentFilters filters = FiltersOfTexts(FilterTexts());
    tryButton_->setEnabled(false);
    applyButton_->setEnabled(false);
    trialHeading_->setText(kTrialRunning);
    trialText_->clear();
    // As the FTP test: the result is handed back to this thread, and the destructor joins the
    // thread before the dialog goes.
    trialStop_ = false;
    trialThread_ = std::thread([this, forApply, filters, limits = context_.limits,
                                location = BuildWebLocation(location), account = state_.account,
                                user = ToLocal8Bit(userNameEdit_->text()),
                                password = ToLocal8Bit(passwordEdit_->text())] {
        FilterTrial trial =
            TryFilters(location, account, user, password, filters, limits, trialStop_);
        QMetaObject::invokeMethod(
            this, [this, trial, forApply] { TrialEnded(trial, forApply); }, Qt::QueuedConnection);
    });
}

void DocumentPropertiesDialog::TrialEnded(const FilterTrial& trial, bool forApply) {
    if (trialThread_.joinable()) trialThread_.join();
    tryButton_->setEnabled(true);
    applyButton_->setEnabled(true);
    ShowTrial(trial);
    // Closed meanwhile: what the user chose stands.
    if (!forApply || trialStop_) return;
    if (trial.outcome == FilterTrial::Outcome::FilteredOut ||
        trial.outcome == FilterTrial::Outcome::Refused) {
        tabs_->setCurrentIndex(1);
        return Refuse(trial.problem);
    }
    // A page that cannot be fetched now says nothing about the selector: its checks will.
    accept();
}

void DocumentPropertiesDialog::ShowTrial(const FilterTrial& trial) {
    TrialPicture picture = PictureOfTrial(trial);
    trialHeading_->setText(QString::fromStdString(picture.heading));
    trialText_->clear();
    QTextCursor cursor(trialText_->document());
    QTextCharFormat plain, grey;
    grey.setForeground(QColor(0x90, 0x90, 0x90));
    bool first = true;
    for (const auto& line : picture.lines) {
        if (!first) cursor.insertBlock();
        first = false;
        cursor.insertText(QString::fromStdString(line.text), line.ignored ? grey : plain);
    }
    trialText_->moveCursor(QTextCursor::Start);
}

void DocumentPropertiesDialog::StopTrial() {
    trialStop_ = true;
    if (trialThread_.joinable()) trialThread_.join();
}

bool DocumentPropertiesDialog::AccountGiven() {
    if (!state_.account) return true;
    if (userNameEdit_->text().isEmpty()) {
        Refuse("Please enter the username.");
        return false;
    }
    if (passwordEdit_->text().isEmpty()) {
        Refuse("Please enter the password.");
        return false;
    }
    return true;
}

void DocumentPropertiesDialog::Action() {
    if (!AccountGiven()) return;
    switch (state_.type) {
        case DocumentType::WebPage:
        case DocumentType::WebFile:
            return OpenWeb();
        case DocumentType::FtpFile:
            return StartFtpTest();
        case DocumentType::LocalFile: {
            auto chosen = context_.files.ChooseExistingFile(this);
            if (!chosen) return;
            if (chosen->size() > kTextLimit)
                return Refuse("The file path can hold at most 511 characters.");
            locationEdit_->setText(FromLocal8Bit(*chosen));
            return;
        }
    }
}

void DocumentPropertiesDialog::OpenWeb() {
    std::string location = ToLocal8Bit(locationEdit_->text());
    if (location.empty()) return Refuse("Please enter the URL or server address of the document.");
    context_.opener.OpenUrl(WebOpenTarget(location, state_.account,
                                          ToLocal8Bit(userNameEdit_->text()),
                                          ToLocal8Bit(passwordEdit_->text())));
}

void DocumentPropertiesDialog::StartFtpTest() {
    if (ftpThread_.joinable()) return;
    actionButton_->setEnabled(false);
    std::string location = ToLocal8Bit(locationEdit_->text());
    if (location.empty()) {
        actionButton_->setEnabled(true);
        return Refuse("Please enter the URL or server address of the document.");
    }
    auto split = SplitFtpProbeAddress(location);
    if (!split) {
        actionButton_->setEnabled(true);
        return Refuse("Invalid FTP address. Please check again.");
    }
    FtpProbeRequest request;
    request.location = *split;
    request.useAccount = state_.account;
    request.userName = ToLocal8Bit(userNameEdit_->text());
    request.password = ToLocal8Bit(passwordEdit_->text());
    request.dataFolder = context_.dataFolder;

    // The steps arrive on the test's thread and are shown on this one. The destructor joins the
    // thread before the dialog goes, and events still queued for it go with it.
    ftpStop_ = false;
    ftpThread_ = std::thread([this, request, limits = context_.limits] {
        auto result =
            ProbeFtpLogin(request, limits, ftpStop_,
                          [this, tls = request.location.tls](FtpProbeStep step, FtpStepState state,
                                                             const std::string& reason) {
                              QMetaObject::invokeMethod(
                                  this, [=, this] { ShowFtpStep(step, state, tls, reason); },
                                  Qt::QueuedConnection);
                          });
        (void)result;  // every outcome has been shown step by step
        QMetaObject::invokeMethod(
            this, [this] { FtpTestEnded(); }, Qt::QueuedConnection);
    });
}

void DocumentPropertiesDialog::ShowFtpStep(FtpProbeStep step, FtpStepState state, bool tls,
                                           const std::string& reason) {
    infoText_->setText(FromLocal8Bit(FtpProbeText(step, state, tls, reason)));
}

void DocumentPropertiesDialog::FtpTestEnded() {
    if (ftpThread_.joinable()) ftpThread_.join();
    actionButton_->setEnabled(true);
}

void DocumentPropertiesDialog::StopFtpTest() {
    ftpStop_ = true;
    if (ftpThread_.joinable()) ftpThread_.join();
}

void DocumentPropertiesDialog::done(int result) {
    // Closing abandons a running test; its transfer sees the request within about a second.
    ftpStop_ = true;
    trialStop_ = true;
    QDialog::done(result);
}

}  // namespace wardlet
