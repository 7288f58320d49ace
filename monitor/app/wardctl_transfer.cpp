#include "monitor/app/wardctl_transfer.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/fd_io.h"
#include "common/little_endian.h"
#include "monitor/app/urlwatch_jobs.h"
#include "monitor/app/wardctl_commands.h"
#include "monitor/app/wardctl_filters.h"
#include "monitor/model/document_editor.h"

namespace wardlet {
namespace {

using Args = std::vector<std::string>;

// One line of the report: tabs and line breaks of a label would split it.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

// Names compare as the editor compares them: ASCII letters without case.
std::string NameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::string UniqueName(const std::string& wanted, std::set<std::string>& taken) {
    std::string name = wanted;
    for (int n = 2; taken.count(NameKey(name)); ++n)
        name = wanted + " (" + std::to_string(n) + ")";
    taken.insert(NameKey(name));
    return name;
}

// Where a document of this input is fetched from, as the editor stores it.
std::string StoredLocation(const DocumentInput& input) {
    bool web = input.type == DocumentType::WebPage || input.type == DocumentType::WebFile;
    return std::to_string(static_cast<int>(input.type)) + " " +
           (web ? BuildWebLocation(input.location) : input.location);
}

struct Planned {
    std::string name;
    DocumentRecord staged{};
    DocumentFilters filters;
};

// Decides every job against the documents there are: names made unique, a job that watches what
// a document (or an earlier job) already watches skipped, the editor's rules applied.
std::vector<Planned> Plan(WardctlSession& session, std::vector<ImportJob>& jobs) {
    const DocumentTable& table = session.doc().documents();
    std::set<std::string> taken;
    std::map<std::string, std::string> watched;  // stored location -> name
    for (size_t i = 0; i < table.size(); ++i) {
        DocumentRecord r = table.Get(i);
        if (FieldText(r.name).empty()) continue;
        taken.insert(NameKey(FieldText(r.name)));
        DocumentInput existing;
        existing.type = TypeOf(r);
        existing.location = FieldText(r.location);
        watched.emplace(StoredLocation(existing), FieldText(r.name));
    }
    std::vector<Planned> plan;
    for (auto& job : jobs) {
        if (!job.importable) continue;
        job.importable = false;
        auto same = watched.find(StoredLocation(job.input));
        if (same != watched.end()) {
            job.reason = "\"" + same->second + "\" already watches " + job.input.location;
            continue;
        }
        std::string name = UniqueName(job.input.name, taken);
        job.input.name = name;
        EditorResult result = ApplyDocumentInput(job.input, table, PropertiesMode::Add,
                                                 DocumentTable::kNoSlot, session.dataFolder());
        if (!result.ok) {
            job.reason = OneLine(result.message);
            continue;
        }
        if (std::string refusal = FiltersRefusal(job.filters, job.input.type); !refusal.empty()) {
            job.reason = "filter: " + refusal;
            continue;
        }
        job.importable = true;
        watched.emplace(StoredLocation(job.input), name);
        plan.push_back({name, result.staged, job.filters});
    }
    return plan;
}

// Adds every planned document or, when one cannot be written, takes back those added before.
bool AddAll(WardctlSession& session, const std::vector<Planned>& plan) {
    std::vector<std::string> added;
    for (const auto& planned : plan) {
        size_t index = session.doc().AddDocument(planned.staged, &planned.filters);
        std::error_code ec;
        if (index == DocumentTable::kNoSlot ||
            !std::filesystem::is_regular_file(session.doc().DataFile(planned.name), ec)) {
            // Only what this import wrote goes; the files in the way stay as they were.
            session.doc().DeleteDocuments(added);
            return false;
        }
        added.push_back(planned.name);
    }
    return true;
}

}  // namespace

int ImportCommand(WardctlSession& session, const Args& arguments) {
    Args args = arguments;
    auto dryRunFlag = std::find(args.begin(), args.end(), "--dry-run");
    bool dryRun = dryRunFlag != args.end();
    if (dryRun) args.erase(dryRunFlag);
    if (args.size() != 2 || (args[0] != "urlwatch" && args[0] != "list"))
        return ReportUsage(session.err,
                           "use 'import urlwatch FILE' or 'import list FILE' [--dry-run]");
    const std::string& file = args[1];
    // The user's own file, often a link into a dotfiles folder: the link is followed here and
    // the file itself read without following another.
    std::error_code ec;
    auto real = std::filesystem::canonical(file, ec);
    auto text = ec ? std::nullopt : ReadDataFile(real);
    if (!text) {
        session.err << "wardctl: cannot read " << file << "; nothing was imported.\n";
        return kExitRefused;
    }
    ImportSource source = args[0] == "urlwatch" ? ReadUrlwatchJobs(*text) : ReadUrlList(*text);
    if (!source.error.empty()) {
        session.err << "wardctl: " << file << ": " << source.error << "; nothing was imported.\n";
        return kExitRefused;
    }
    if (!dryRun)
        if (int status = session.LockForWriting()) return status;
    session.Load();
    std::vector<Planned> plan = Plan(session, source.jobs);
    size_t skipped = 0;
    for (const auto& job : source.jobs) {
        if (job.importable)
            session.out << (dryRun ? "add" : "added") << '\t' << job.input.name << '\t'
                        << OneLine(job.input.location) << '\n';
        else
            session.out << "skipped\t" << OneLine(job.label) << '\t' << job.reason << '\n';
        skipped += job.importable ? 0 : 1;
    }
    if (!dryRun && !AddAll(session, plan)) {
        session.err << "wardctl: cannot write the document files in " << session.dataFolder()
                    << "; nothing was imported.\n";
        return kExitWriteFailed;
    }
    session.out << plan.size() << (dryRun ? " to add, " : " added, ") << skipped << " skipped"
                << (dryRun ? " (dry run: nothing was changed).\n" : ".\n");
    return kExitOk;
}

int ExportCommand(WardctlSession& session, const Args& args) {
    if (args.size() != 1 || args[0] != "urlwatch")
        return ReportUsage(session.err, "use 'export urlwatch'");
    session.Load();
    std::vector<DocumentRecord> records;
    std::vector<std::string> filtered;
    for (size_t i = 0; i < session.doc().documents().size(); ++i) {
        DocumentRecord r = session.doc().Record(i);
        if (FieldText(r.name).empty()) continue;
        records.push_back(r);
        if (session.doc().FiltersOf(i).state != FiltersLoad::State::None)
            filtered.emplace_back(FieldText(r.name));
    }
    std::vector<std::string> notes;
    auto yaml = UrlwatchJobsYaml(records, notes);
    // Not written as urlwatch filter steps, so said, as the other settings left out are.
    for (const auto& name : filtered)
        notes.push_back(name + ": its filters are left out");
    if (!yaml) {
        session.err << "wardctl: the documents cannot be written as YAML.\n";
        return kExitWriteFailed;
    }
    session.out << *yaml;
    for (const auto& note : notes)
        session.err << "wardctl: " << OneLine(note) << '\n';
    return session.out.flush() ? kExitOk : kExitWriteFailed;
}

}  // namespace wardlet
