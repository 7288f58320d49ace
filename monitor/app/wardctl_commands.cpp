#include "monitor/app/wardctl_commands.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <system_error>

#include "common/data_lock.h"
#include "common/folders.h"
#include "common/little_endian.h"
#include "monitor/app/wardctl_check.h"
#include "monitor/app/wardctl_filters.h"
#include "monitor/app/wardctl_history.h"
#include "monitor/app/wardctl_json.h"
#include "monitor/app/wardctl_mail.h"
#include "monitor/app/wardctl_session.h"
#include "monitor/app/wardctl_transfer.h"
#include "monitor/model/document_editor.h"
#include "monitor/model/feature_settings.h"
#include "monitor/model/options.h"

#ifndef WARDLET_VERSION
#define WARDLET_VERSION "0"
#endif

namespace wardlet {
namespace {

constexpr char kHelp[] = R"(Usage: wardctl COMMAND [ARGUMENTS]

The command line of the Wardlet document monitor. It works on the monitor's data folder
($XDG_DATA_HOME/Calvorne/Wardlet) and refuses every command that writes while the monitor runs.

Commands:
  list [--json]              one line per document: name, type, status, last check (tabs);
                             --json: one JSON array of every document with every field
  show NAME [--json]         every field of the document, one "field: value" line each
                             (--json: one JSON object)
  add --type TYPE --name NAME --location TEXT [--user USER --password PASSWORD]
      [--count STRING | --middle START END] [FILTERS]
                             adds a document (saved as waiting for its first check);
                             TYPE is web-page, web-file, ftp-file or local-file;
                             --count and --middle choose the checking method of a web page
  edit NAME FILTERS          changes the filters of a web document; besides the ones below:
                             --no-select, --whole-text, --no-ignore, --no-trigger,
                             --trigger-added, --no-filters
  try NAME                   fetches the document once and prints what its check would compare
  remove NAME...             deletes the documents and their stored copies
  options                    prints the eleven options as "field: value", then
                             conditionalRequests of Wardlet.settings
  options set FIELD VALUE    changes one option and saves the options file;
                             conditionalRequests 0 or 1 goes to Wardlet.settings
  check [--json] [--send-mail] [--all | NAME...]
                             checks every document (Check All) or the named ones (Check
                             Selected) with threadCount threads, one line per ended check
                             (name, status, time; --json: one JSON object per line); queues
                             e-mail entries as the monitor does, and with --send-mail sends
                             them at the end without a window
  send-mail                  sends the queued e-mail entries without a window (Wardpost
                             --no-window); works beside a running monitor
  import urlwatch FILE [--dry-run]
                             adds the jobs of a urlwatch urls.yaml as documents, all or none,
                             and lists the jobs it skips with the reason
  import list FILE [--dry-run]
                             adds one web page per line of FILE (a URL; # starts a comment)
  export urlwatch            writes the documents as a urlwatch urls.yaml on standard output
  mark-checked [--all | NAME...]
                             sets the documents to Checked
  history NAME               one line per kept earlier version, newest first: index, time,
                             bytes (tabs)
  diff NAME [--from K] [--to K] [--source] [--color auto|always|never]
                             the unified diff of the text from version K (default 1, the newest
                             kept one) to version K-1 (or --to; 0 is the stored copy);
                             --source: of the page's source instead of its text
  --help, --version

Filters (web pages and web files; what their checks compare):
  --select CSS               only the elements the CSS selector matches (type, #id, .class,
                             [a], [a=b], descendant, >, commas, :nth-child(n))
  --xpath EXPR               only what the XPath expression selects
  --text-only                their text, as the change view reads it: markup changes nothing
  --ignore REGEX             lines matching the RE2 pattern are left out (repeatable)
  --trigger WORDS            a change counts only when an added line holds WORDS (any case)
  --trigger-removed          ... a removed line instead

Exit status: 0 done; 64 usage error; 65 input refused; 66 no document of that name;
69 the queued e-mail could not be sent (it stays queued); 74 a file could not be written;
75 the data folder is in use by the monitor.
check also exits with 1 when a document changed, 2 when one could not be retrieved, 3 for both
(0: nothing changed and everything was retrieved). diff exits with 1 when there is no difference
to show.
)";

using Args = std::vector<std::string>;

std::optional<int32_t> ParseInt(const std::string& text) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<DocumentType> ParseType(const std::string& text) {
    if (text == "web-page") return DocumentType::WebPage;
    if (text == "web-file") return DocumentType::WebFile;
    if (text == "ftp-file") return DocumentType::FtpFile;
    if (text == "local-file") return DocumentType::LocalFile;
    return std::nullopt;
}

// "--json" as the only argument, or nothing; false for anything else.
bool JsonFlag(const Args& args, bool& json) {
    json = args.size() == 1 && args[0] == "--json";
    return args.empty() || json;
}

int List(WardctlSession& session, const Args& args) {
    bool json = false;
    if (!JsonFlag(args, json))
        return ReportUsage(session.err, "list takes no arguments but --json");
    session.Load();
    const DocumentTable& table = session.doc().documents();
    nlohmann::json documents = nlohmann::json::array();
    for (size_t i = 0; i < table.size(); ++i) {
        DocumentRecord r = table.Get(i);
        std::string_view name = FieldText(r.name);
        if (name.empty()) continue;
        if (json) {
            documents.push_back(RecordJson(r));
            continue;
        }
        session.out << name << '\t' << TypeText(r.type) << '\t' << StatusText(r.status) << '\t'
                    << LastCheckText(r) << '\n';
    }
    if (json) session.out << JsonLine(documents) << '\n';
    return kExitOk;
}

int Show(WardctlSession& session, const Args& args) {
    Args rest = args;
    bool json = false;
    if (auto flag = std::find(rest.begin(), rest.end(), "--json"); flag != rest.end()) {
        json = true;
        rest.erase(flag);
    }
    if (rest.size() != 1) return ReportUsage(session.err, "show takes one document name");
    session.Load();
    size_t index = session.doc().FindDocument(rest[0]);
    if (index == DocumentTable::kNoSlot) return session.NoDocument(rest[0]);
    DocumentRecord r = session.doc().Record(index);
    auto& out = session.out;
    FiltersLoad filters = session.doc().FiltersOf(index);
    if (json) {
        nlohmann::json object = RecordJson(r);
        // Only a document with filters gets the key, so other documents print as they did.
        if (filters.state == FiltersLoad::State::Damaged)
            object["filters"] = nullptr;
        else if (filters.state == FiltersLoad::State::Loaded && !filters.filters.empty())
            object["filters"] = nlohmann::json::parse(FiltersFileText(filters.filters));
        out << JsonLine(object) << '\n';
        return kExitOk;
    }
    out << "type: " << r.type << " (" << TypeText(r.type) << ")\n"
        << "location: " << FieldText(r.location) << '\n'
        << "name: " << FieldText(r.name) << '\n'
        << "useAccount: " << r.useAccount << '\n'
        << "userName: " << FieldText(r.userName) << '\n'
        << "password: " << FieldText(r.password) << '\n'
        << "lastCheck: " << FieldText(r.lastCheck) << '\n'
        << "status: " << r.status << " (" << StatusText(r.status) << ")\n"
        << "useCount: " << r.useCount << '\n'
        << "lastCount: " << r.lastCount << '\n'
        << "countString: " << FieldText(r.countString) << '\n'
        << "useMiddle: " << r.useMiddle << '\n'
        << "middleStart: " << FieldText(r.middleStart) << '\n'
        << "middleEnd: " << FieldText(r.middleEnd) << '\n';
    PrintFilters(out, filters);
    return kExitOk;
}

int Add(WardctlSession& session, const Args& arguments) {
    Args args = arguments;
    DocumentFilters filters;
    bool filtered = false;
    if (std::string problem = TakeFilterOptions(args, filters, filtered, false); !problem.empty())
        return ReportUsage(session.err, problem);
    DocumentInput input;
    bool haveType = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&](size_t count = 1) -> bool { return i + count < args.size(); };
        if (option == "--middle") {
            if (!value(2))
                return ReportUsage(session.err, "--middle needs a start and an end string");
            input.method = CheckMethod::Middle;
            input.middleStart = args[++i];
            input.middleEnd = args[++i];
            continue;
        }
        if (!value()) return ReportUsage(session.err, option + " needs a value");
        const std::string& text = args[++i];
        if (option == "--type") {
            auto type = ParseType(text);
            if (!type) return ReportUsage(session.err, "unknown document type '" + text + "'");
            input.type = *type;
            haveType = true;
        } else if (option == "--name") {
            input.name = text;
        } else if (option == "--location") {
            input.location = text;
        } else if (option == "--user") {
            input.account = true;
            input.userName = text;
        } else if (option == "--password") {
            input.account = true;
            input.password = text;
        } else if (option == "--count") {
            input.method = CheckMethod::Count;
            input.countString = text;
        } else {
            return ReportUsage(session.err, "unknown option '" + option + "' for add");
        }
    }
    if (!haveType) return ReportUsage(session.err, "add needs --type");
    if (input.type != DocumentType::WebPage && input.method != CheckMethod::Simple)
        return ReportUsage(session.err, "--count and --middle apply to web pages only");
    if (int status = session.LockForWriting()) return status;
    session.Load();
    EditorResult result = ApplyDocumentInput(input, session.doc().documents(), PropertiesMode::Add,
                                             DocumentTable::kNoSlot, session.dataFolder());
    if (!result.ok) {
        session.err << "wardctl: " << result.message << '\n';
        return kExitRefused;
    }
    if (std::string refusal = FiltersRefusal(filters, input.type); !refusal.empty()) {
        session.err << "wardctl: " << refusal << '\n';
        return kExitRefused;
    }
    size_t index = session.doc().AddDocument(result.staged, filtered ? &filters : nullptr);
    std::error_code ec;
    if (index == DocumentTable::kNoSlot ||
        !std::filesystem::is_regular_file(session.doc().DataFile(input.name), ec)) {
        session.err << "wardctl: cannot write the document file in " << session.dataFolder()
                    << '\n';
        return kExitWriteFailed;
    }
    return kExitOk;
}

int Remove(WardctlSession& session, const Args& args) {
    if (args.empty()) return ReportUsage(session.err, "remove needs at least one document name");
    if (int status = session.LockForWriting()) return status;
    session.Load();
    for (const auto& name : args)
        if (session.doc().FindDocument(name) == DocumentTable::kNoSlot)
            return session.NoDocument(name);  // nothing is removed when any name is unknown
    session.doc().DeleteDocuments(args);
    return kExitOk;
}

constexpr char kConditionalRequests[] = "conditionalRequests";

// The one feature setting wardctl sets: its file keeps every other key as it was.
int SetConditionalRequests(WardctlSession& session, const std::string& text) {
    auto value = ParseInt(text);
    if (!value) return ReportUsage(session.err, "'" + text + "' is not a whole number");
    if (std::string problem = OptionValueProblem(kConditionalRequests, *value); !problem.empty()) {
        session.err << "wardctl: " << problem << '\n';
        return kExitRefused;
    }
    if (int status = session.LockForWriting()) return status;
    FeatureSettings settings = LoadFeatureSettings(session.dataFolder());
    settings.conditionalRequests = *value == 1;
    if (!SaveFeatureSettings(session.dataFolder(), settings)) {
        session.err << "wardctl: cannot write " << FeatureSettingsFile(session.dataFolder())
                    << '\n';
        return kExitWriteFailed;
    }
    return kExitOk;
}

int Options(WardctlSession& session, const Args& args) {
    if (args.empty()) {
        MonitorOptions options = ReadOptionsFile(session.dataFolder()).value_or(DefaultOptions());
        for (const auto& field : kOptionFields)
            session.out << field.name << ": " << options.*field.member << '\n';
        session.out << kConditionalRequests << ": "
                    << LoadFeatureSettings(session.dataFolder()).conditionalRequests << '\n';
        return kExitOk;
    }
    if (args[0] != "set" || args.size() != 3)
        return ReportUsage(session.err, "use 'options' or 'options set FIELD VALUE'");
    if (args[1] == kConditionalRequests) return SetConditionalRequests(session, args[2]);
    const OptionField* field = FindOptionField(args[1]);
    if (!field) return ReportUsage(session.err, "unknown option field '" + args[1] + "'");
    auto value = ParseInt(args[2]);
    if (!value) return ReportUsage(session.err, "'" + args[2] + "' is not a whole number");
    if (std::string problem = OptionValueProblem(field->name, *value); !problem.empty()) {
        session.err << "wardctl: " << problem << '\n';
        return kExitRefused;
    }
    if (int status = session.LockForWriting()) return status;
    MonitorOptions options = LoadOptions(session.dataFolder());
    options.*field->member = *value;
    if (!SaveOptions(session.dataFolder(), options)) {
        session.err << "wardctl: cannot write " << (session.dataFolder() / kOptionsFile) << '\n';
        return kExitWriteFailed;
    }
    return kExitOk;
}

}  // namespace

int ReportUsage(std::ostream& err, std::string_view problem) {
    err << "wardctl: " << problem << "\nTry 'wardctl --help'.\n";
    return kExitUsage;
}

std::string OptionValueProblem(std::string_view field, int32_t value) {
    if (field == "threadCount")
        return value >= kMinThreadCount && value <= kMaxThreadCount
                   ? ""
                   : "threadCount must be between " + std::to_string(kMinThreadCount) + " and " +
                         std::to_string(kMaxThreadCount) + ".";
    if (field == "checkPeriodMinutes")
        return value >= 1 && value <= 600 ? "" : "checkPeriodMinutes must be between 1 and 600.";
    return value == 0 || value == 1 ? "" : std::string(field) + " must be 0 or 1.";
}

int RunWardctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return ReportUsage(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kHelp;
        return kExitOk;
    }
    if (command == "--version") {
        out << "wardctl (Wardlet) " << WARDLET_VERSION << '\n';
        return kExitOk;
    }
    static const std::map<std::string, WardctlCommand> commands = {
        {"list", List},
        {"show", Show},
        {"add", Add},
        {"edit", EditCommand},
        {"try", TryCommand},
        {"remove", Remove},
        {"options", Options},
        {"check", CheckCommand},
        {"mark-checked", MarkCheckedCommand},
        {"send-mail", SendMailCommand},
        {"import", ImportCommand},
        {"export", ExportCommand},
        {"history", HistoryCommand},
        {"diff", DiffCommand},
    };
    auto found = commands.find(command);
    if (found == commands.end()) return ReportUsage(err, "unknown command '" + command + "'");
    WardctlSession session(MonitorDataFolder(), out, err);
    return found->second(session, Args(args.begin() + 1, args.end()));
}

}  // namespace wardlet
