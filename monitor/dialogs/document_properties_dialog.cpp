#include "monitor/dialogs/document_properties_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

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
    ShowState();
    infoText_->setText(FromLocal8Bit(TypeExample(state_.type)));
    // Typing goes to the first text to fill in, not to the first radio button: a copy is
    // usually of another address.
    (mode == PropertiesMode::Copy ? locationEdit_ : nameEdit_)->setFocus();
}

DocumentPropertiesDialog::~DocumentPropertiesDialog() {
    StopFtpTest();
}

void DocumentPropertiesDialog::BuildControls() {
    auto* layout = new QVBoxLayout(this);

    auto* document = new QGroupBox("Document Information", this);
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
    layout->addWidget(document);

    auto* method = new QGroupBox("Checking Method", this);
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
    layout->addWidget(method);

    infoText_ = Named(new QLabel(this), "infoText");
    infoText_->setWordWrap(true);
    infoText_->setMinimumHeight(infoText_->fontMetrics().lineSpacing() * 5);
    layout->addWidget(infoText_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* apply = Named(new QPushButton("Apply", this), "applyButton");
    apply->setDefault(true);
    connect(apply, &QPushButton::clicked, this, &DocumentPropertiesDialog::Apply);
    auto* cancel = Named(new QPushButton("Cancel", this), "cancelButton");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(apply);
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
    EditorResult result = ApplyDocumentInput(InputOf(state_, Texts()), context_.table, mode_, slot_,
                                             context_.dataFolder);
    if (!result.ok) return Refuse(result.message);
    staged_ = result.staged;
    accept();
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
    QDialog::done(result);
}

}  // namespace wardlet
