#include "monitor/app/properties_form.h"

#include <algorithm>

#include "common/little_endian.h"

namespace wardlet {
namespace {

void EnableMethodEdits(PropertiesFormState& state) {
    state.countEditEnabled = state.method == CheckMethod::Count;
    state.middleEnabled = state.method == CheckMethod::Middle;
}

void EnableAccountFields(PropertiesFormState& state) {
    state.accountFieldsEnabled = state.account;
}

}  // namespace

PropertiesOpening OpenProperties(PropertiesMode mode, const DocumentRecord& selected) {
    PropertiesOpening opening;
    PropertiesFormState& state = opening.state;
    if (mode == PropertiesMode::Add) return opening;

    PropertiesTexts& texts = opening.texts;
    texts.name = FieldText(selected.name);
    texts.location = FieldText(selected.location);
    auto type = TypeOf(selected);
    switch (type) {
        case DocumentType::WebFile:
        case DocumentType::FtpFile:
        case DocumentType::LocalFile:
            state.type = type;
            break;
        default:  // a web page, and any type no editor writes
            state.type = DocumentType::WebPage;
            break;
    }
    if (state.type == DocumentType::WebPage) {
        if (FlagOn(selected.useMiddle)) {
            state.method = CheckMethod::Middle;
            texts.middleStart = FieldText(selected.middleStart);
            texts.middleEnd = FieldText(selected.middleEnd);
        } else if (FlagOn(selected.useCount)) {
            state.method = CheckMethod::Count;
            texts.countString = FieldText(selected.countString);
        }
        EnableMethodEdits(state);
    } else {
        state.methodRadiosEnabled = false;
        state.accountEnabled = state.type != DocumentType::LocalFile;
        state.actionCaption = state.type == DocumentType::FtpFile     ? "&Connect..."
                              : state.type == DocumentType::LocalFile ? "&Browse.."
                                                                      : "&Open...";
        if (state.type == DocumentType::LocalFile) state.locationLabel = "Local Path:";
    }
    state.account = FlagOn(selected.useAccount);
    EnableAccountFields(state);
    if (state.account) {
        texts.userName = FieldText(selected.userName);
        texts.password = FieldText(selected.password);
    }
    return opening;
}

void ClickType(PropertiesFormState& state, DocumentType type) {
    state.type = type;
    switch (type) {
        case DocumentType::WebPage:
            state.actionCaption = "&Open...";
            state.locationLabel = "URL:";
            state.methodRadiosEnabled = true;
            EnableMethodEdits(state);
            state.accountEnabled = true;
            EnableAccountFields(state);
            return;
        case DocumentType::WebFile:
        case DocumentType::FtpFile:
            state.actionCaption = type == DocumentType::FtpFile ? "&Connect..." : "&Open...";
            state.locationLabel = "URL:";
            state.methodRadiosEnabled = false;
            state.countEditEnabled = false;
            state.middleEnabled = false;
            state.accountEnabled = true;
            EnableAccountFields(state);
            return;
        case DocumentType::LocalFile:
            state.actionCaption = "&Browse...";
            state.locationLabel = "Local Path:";
            state.methodRadiosEnabled = false;
            state.countEditEnabled = false;
            state.middleEnabled = false;
            state.accountEnabled = false;
            state.accountFieldsEnabled = false;
            return;
    }
}

void ClickAccount(PropertiesFormState& state, bool checked) {
    state.account = checked;
    EnableAccountFields(state);
}

void ClickMethod(PropertiesFormState& state, CheckMethod method) {
    state.method = method;
    EnableMethodEdits(state);
}

DocumentInput InputOf(const PropertiesFormState& state, const PropertiesTexts& texts) {
    DocumentInput input;
    input.type = state.type;
    input.name = texts.name;
    input.location = texts.location;
    // A checked box counts even while it is disabled.
    input.account = state.account;
    input.userName = texts.userName;
    input.password = texts.password;
    input.method = state.method;
    input.countString = texts.countString;
    input.middleStart = texts.middleStart;
    input.middleEnd = texts.middleEnd;
    return input;
}

std::string_view TypeExample(DocumentType type) {
    switch (type) {
        case DocumentType::WebPage:
            return "\n e.g.  Home page of a web site\n\n http://www.example.com/";
        case DocumentType::WebFile:
            return "\n e.g.  File for download from a web site\n\n "
                   "http://www.example.com/download/setup.zip";
        case DocumentType::FtpFile:
            return "\n e.g.  Project-related file on the FTP server\n\n "
                   "ftp.example.com/pub/project/readme.txt\n "
                   "ftps://ftp.example.com/pub/project/readme.txt (FTP over TLS)";
        case DocumentType::LocalFile:
            return "\n e.g.  System log file of your PC\n\n C:\\Logfiles\\System.log";
    }
    return "";
}

std::string FtpProbeText(FtpProbeStep step, FtpStepState state, bool tls,
                         const std::string& reason) {
    const char* outcome = state == FtpStepState::Started     ? ""
                          : state == FtpStepState::Succeeded ? "SUCCESS"
                                                             : "FAILED";
    std::string connect =
        tls ? "Connecting to the server with TLS..." : "Connecting to the server...";
    std::string text;
    switch (step) {
        case FtpProbeStep::Connect:
            text = connect + outcome;
            break;
        case FtpProbeStep::ChangeDirectory:
            text = connect + "SUCCESS\nChanging directory..." + outcome;
            break;
        case FtpProbeStep::GetFile:
            text = connect + "SUCCESS\nChanging directory...SUCCESS\nGetting file..." + outcome;
            break;
    }
    if (state == FtpStepState::Failed && !reason.empty()) text += "\n" + reason;
    return text;
}

FiltersTexts TextsOfFilters(const DocumentFilters& filters) {
    FiltersTexts texts;
    if (filters.selectorKind != DocumentFilters::Selector::None)
        texts.selectorKind = filters.selectorKind;
    texts.selector = filters.selector;
    texts.textOnly = filters.textOnly;
    for (const auto& pattern : filters.ignoreLines)
        texts.ignoreLines += pattern + "\n";
    texts.trigger = filters.trigger;
    texts.triggerOnRemoved = filters.triggerOnRemoved;
    return texts;
}

DocumentFilters FiltersOfTexts(const FiltersTexts& texts) {
    DocumentFilters filters;
    if (texts.selector.find_first_not_of(" \t") != std::string::npos) {
        filters.selectorKind = texts.selectorKind;
        filters.selector = texts.selector;
    }
    filters.textOnly = texts.textOnly;
    size_t from = 0;
    while (from < texts.ignoreLines.size()) {
        size_t end = std::min(texts.ignoreLines.find('\n', from), texts.ignoreLines.size());
        std::string line = texts.ignoreLines.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) filters.ignoreLines.push_back(line);
        from = end + 1;
    }
    filters.trigger = texts.trigger;
    filters.triggerOnRemoved = !texts.trigger.empty() && texts.triggerOnRemoved;
    return filters;
}

bool FiltersApply(DocumentType type) {
    return type == DocumentType::WebPage || type == DocumentType::WebFile;
}

TrialPicture PictureOfTrial(const FilterTrial& trial) {
    TrialPicture picture;
    switch (trial.outcome) {
        case FilterTrial::Outcome::Compared: {
            size_t ignored = 0;
            for (const auto& line : trial.result.lines)
                ignored += line.ignored ? 1 : 0;
            size_t kept = trial.result.lines.size() - ignored;
            picture.heading = "What a check compares now (" + std::to_string(kept) +
                              (kept == 1 ? " line; " : " lines; ") + std::to_string(ignored) +
                              " ignored, in grey):";
            break;
        }
        case FilterTrial::Outcome::FilteredOut:
            picture.heading = "Nothing would be compared: " + trial.problem;
            break;
        case FilterTrial::Outcome::Refused:
        case FilterTrial::Outcome::NotFetched:
            picture.heading = trial.problem;
            return picture;
    }
    for (const auto& line : trial.result.lines)
        picture.lines.push_back({line.text, line.ignored});
    return picture;
}

}  // namespace wardlet
