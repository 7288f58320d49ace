#pragma once

#include <string>
#include <string_view>

#include <vector>

#include "monitor/engine/filter_trial.h"
#include "monitor/engine/ftp_login_probe.h"
#include "monitor/model/document_editor.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/document_record.h"

namespace wardlet {

// What the document properties dialog shows, apart from the typed texts: which radios and boxes
// are checked, which controls are enabled, and the captions that follow the type. The dialog
// mirrors it into its widgets; the rules of opening and of each click live here.
struct PropertiesFormState {
    DocumentType type = DocumentType::WebPage;
    CheckMethod method = CheckMethod::Simple;
    bool account = false;

    bool methodRadiosEnabled = true;
    bool countEditEnabled = false;
    bool middleEnabled = false;  // both middle edits and the "and" label
    bool accountEnabled = true;
    bool accountFieldsEnabled = false;  // both account edits and their labels

    std::string actionCaption = "&Open...";
    std::string locationLabel = "URL:";
};

// The texts of the dialog's edit boxes.
struct PropertiesTexts {
    std::string name;
    std::string location;
    std::string userName;
    std::string password;
    std::string countString;
    std::string middleStart;
    std::string middleEnd;
};

struct PropertiesOpening {
    PropertiesFormState state;
    PropertiesTexts texts;
};

// The opening state: Add shows an empty web page; Edit and Copy show the selected record.
PropertiesOpening OpenProperties(PropertiesMode mode, const DocumentRecord& selected);

// Clicks change captions and enabling only; no check state is changed by them.
void ClickType(PropertiesFormState& state, DocumentType type);
void ClickAccount(PropertiesFormState& state, bool checked);
void ClickMethod(PropertiesFormState& state, CheckMethod method);

// What Apply hands to ApplyDocumentInput.
DocumentInput InputOf(const PropertiesFormState& state, const PropertiesTexts& texts);

// The information area: an example of what to enter for the type.
std::string_view TypeExample(DocumentType type);

// The information area during an FTP connection test, after `step` reached `state`; a test over
// TLS says so in its first step, and a failed step is followed by its reason on a line of its own.
std::string FtpProbeText(FtpProbeStep step, FtpStepState state, bool tls = false,
                         const std::string& reason = "");

// The "Filters" tab's fields as typed: the selector's kind and text, text only, the ignored
// patterns one a line, the trigger words and whether removed lines hold them.
struct FiltersTexts {
    DocumentFilters::Selector selectorKind = DocumentFilters::Selector::Css;
    std::string selector;
    bool textOnly = false;
    std::string ignoreLines;  // one pattern a line; empty lines are passed over
    std::string trigger;
    bool triggerOnRemoved = false;
};
FiltersTexts TextsOfFilters(const DocumentFilters& filters);
DocumentFilters FiltersOfTexts(const FiltersTexts& texts);
// The tab is usable for web pages and web files only; other types are staged without filters.
bool FiltersApply(DocumentType type);

// What "Try" shows: the compared lines plain, the ignored ones greyed, and a line above them.
struct TrialPicture {
    std::string heading;
    struct Line {
        std::string text;
        bool ignored = false;
    };
    std::vector<Line> lines;
};
TrialPicture PictureOfTrial(const FilterTrial& trial);

inline constexpr char kTrialRunning[] = "Fetching the page once...";

}  // namespace wardlet
