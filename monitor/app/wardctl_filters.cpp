#include "monitor/app/wardctl_filters.h"

#include <algorithm>
#include <atomic>

#include "common/little_endian.h"
#include "monitor/app/wardctl_commands.h"
#include "monitor/changes/page_filters.h"
#include "monitor/engine/filter_trial.h"

namespace wardlet {

std::string TakeFilterOptions(std::vector<std::string>& args, DocumentFilters& filters,
                              bool& changed, bool forEdit) {
    std::vector<std::string> rest;
    std::vector<std::string> ignore;
    bool ignoreGiven = false;
    bool selectorGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        bool valued = option == "--select" || option == "--xpath" || option == "--ignore" ||
                      option == "--trigger";
        if (valued && i + 1 >= args.size()) return option + " needs a value";
        if (option == "--select" || option == "--xpath") {
            if (selectorGiven) return "--select and --xpath name one selector; give one of them";
            selectorGiven = true;
            filters.selectorKind = option == "--select" ? DocumentFilters::Selector::Css
                                                        : DocumentFilters::Selector::XPath;
            filters.selector = args[++i];
        } else if (option == "--text-only") {
            filters.textOnly = true;
        } else if (option == "--ignore") {
            ignoreGiven = true;
            ignore.push_back(args[++i]);
        } else if (option == "--trigger") {
            filters.trigger = args[++i];
        } else if (option == "--trigger-removed") {
            filters.triggerOnRemoved = true;
        } else if (forEdit && option == "--no-filters") {
            filters = {};
        } else if (forEdit && option == "--no-select") {
            filters.selectorKind = DocumentFilters::Selector::None;
            filters.selector.clear();
        } else if (forEdit && option == "--whole-text") {
            filters.textOnly = false;
        } else if (forEdit && option == "--no-ignore") {
            ignoreGiven = true;
            ignore.clear();
        } else if (forEdit && option == "--no-trigger") {
            filters.trigger.clear();
            filters.triggerOnRemoved = false;
        } else if (forEdit && option == "--trigger-added") {
            filters.triggerOnRemoved = false;
        } else {
            rest.push_back(option);
            continue;
        }
        changed = true;
    }
    if (ignoreGiven) filters.ignoreLines = ignore;
    if (filters.trigger.empty()) filters.triggerOnRemoved = false;
    args = std::move(rest);
    return {};
}

std::string FiltersRefusal(const DocumentFilters& filters, DocumentType type) {
    if (filters.empty()) return {};
    if (type != DocumentType::WebPage && type != DocumentType::WebFile)
        return "Filters apply to web pages and web files only.";
    return FiltersProblem(filters);
}

void PrintFilters(std::ostream& out, const FiltersLoad& load) {
    if (load.state == FiltersLoad::State::Damaged) {
        out << "filters: cannot be read (" << load.problem << "); checked without them\n";
        return;
    }
    if (load.state == FiltersLoad::State::None || load.filters.empty()) return;
    const DocumentFilters& f = load.filters;
    if (f.selectorKind == DocumentFilters::Selector::Css) out << "css: " << f.selector << '\n';
    if (f.selectorKind == DocumentFilters::Selector::XPath) out << "xpath: " << f.selector << '\n';
    out << "textOnly: " << (f.textOnly ? 1 : 0) << '\n';
    for (const auto& pattern : f.ignoreLines)
        out << "ignore: " << pattern << '\n';
    if (!f.trigger.empty())
        out << "trigger: " << f.trigger << '\n'
            << "triggerOnRemoved: " << (f.triggerOnRemoved ? 1 : 0) << '\n';
}

int EditCommand(WardctlSession& session, const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0].rfind("--", 0) == 0)
        return ReportUsage(session.err, "edit takes a document name, then filter options");
    const std::string& name = arguments[0];
    std::vector<std::string> args(arguments.begin() + 1, arguments.end());
    if (int status = session.LockForWriting()) return status;
    session.Load();
    size_t slot = session.doc().FindDocument(name);
    if (slot == DocumentTable::kNoSlot) return session.NoDocument(name);
    FiltersLoad load = session.doc().FiltersOf(slot);
    DocumentFilters filters = load.filters;
    bool changed = false;
    if (std::string problem = TakeFilterOptions(args, filters, changed, true); !problem.empty())
        return ReportUsage(session.err, problem);
    if (!args.empty()) return ReportUsage(session.err, "unknown option '" + args[0] + "' for edit");
    if (!changed) return ReportUsage(session.err, "edit needs at least one filter option");
    DocumentRecord staged = session.doc().Record(slot);
    if (std::string refusal = FiltersRefusal(filters, TypeOf(staged)); !refusal.empty()) {
        session.err << "wardctl: " << refusal << '\n';
        return kExitRefused;
    }
    // Staged as the properties editor stages it; the store keeps what still compares the same.
    SetStatus(staged, DocumentStatus::Waiting);
    staged.lastCount = 0;
    SetFieldText(staged.lastCheck, "");
    if (session.doc().EditDocument(slot, staged, &filters) != EditOutcome::Saved) {
        session.err << "wardctl: cannot write the document's files in " << session.dataFolder()
                    << '\n';
        return kExitWriteFailed;
    }
    return kExitOk;
}

int TryCommand(WardctlSession& session, const std::vector<std::string>& args) {
    if (args.size() != 1) return ReportUsage(session.err, "try takes one document name");
    session.Load();
    size_t slot = session.doc().FindDocument(args[0]);
    if (slot == DocumentTable::kNoSlot) return session.NoDocument(args[0]);
    DocumentRecord r = session.doc().Record(slot);
    if (TypeOf(r) != DocumentType::WebPage && TypeOf(r) != DocumentType::WebFile) {
        session.err << "wardctl: Filters apply to web pages and web files only.\n";
        return kExitRefused;
    }
    FiltersLoad load = session.doc().FiltersOf(slot);
    if (load.state == FiltersLoad::State::Damaged)
        session.err << "wardctl: " << args[0] << ": its filters cannot be read (" << load.problem
                    << "), so the whole document is compared\n";
    std::atomic<bool> stop{false};
    FilterTrial trial =
        TryFilters(FieldText(r.location), FlagOn(r.useAccount), FieldText(r.userName),
                   FieldText(r.password), load.filters, session.doc().transferLimits(), stop);
    switch (trial.outcome) {
        case FilterTrial::Outcome::Compared:
            session.out << trial.result.portion;
            if (!trial.result.portion.empty() && trial.result.portion.back() != '\n')
                session.out << '\n';
            return kExitOk;
        case FilterTrial::Outcome::Refused:
            session.err << "wardctl: " << trial.problem << '\n';
            return kExitRefused;
        case FilterTrial::Outcome::FilteredOut:
        case FilterTrial::Outcome::NotFetched:
            break;
    }
    // As a check would end: "** Unable to retrieve", exit status 2.
    session.err << "wardctl: " << args[0] << ": " << trial.problem << '\n';
    return 2;
}

}  // namespace wardlet
