#include "monitor/app/wardctl_history.h"

#include <unistd.h>

#include <charconv>
#include <iostream>
#include <optional>

#include "common/little_endian.h"
#include "monitor/app/wardctl_commands.h"
#include "monitor/changes/change_view.h"

namespace wardlet {
namespace {

constexpr int kExitNoDifference = 1;

std::optional<size_t> ParseIndex(const std::string& text) {
    size_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string VersionName(size_t index) {
    return index == 0 ? "stored copy" : "version " + std::to_string(index);
}

// The document named by the one plain argument; kNoSlot after telling why.
size_t FindNamed(WardctlSession& session, const std::string& name) {
    session.Load();
    return session.doc().FindDocument(name);
}

}  // namespace

int HistoryCommand(WardctlSession& session, const std::vector<std::string>& args) {
    if (args.size() != 1) return ReportUsage(session.err, "history takes one document name");
    size_t index = FindNamed(session, args[0]);
    if (index == DocumentTable::kNoSlot) return session.NoDocument(args[0]);
    ChangeView view = session.doc().ChangesOf(index);
    const auto& versions = view.versions();
    for (size_t i = 1; i < versions.size(); ++i) {
        session.out << i << '\t' << VersionTimeStamp(versions[i].time) << '\t' << versions[i].bytes;
        if (!versions[i].kept) session.out << "\tnot kept: larger than the bound";
        session.out << '\n';
    }
    return kExitOk;
}

int DiffCommand(WardctlSession& session, const std::vector<std::string>& args) {
    std::optional<std::string> name;
    size_t from = 1;
    std::optional<size_t> to;
    bool source = false;
    std::string color = "auto";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--source") {
            source = true;
            continue;
        }
        if (arg == "--from" || arg == "--to" || arg == "--color") {
            if (i + 1 >= args.size()) return ReportUsage(session.err, arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--color") {
                if (value != "auto" && value != "always" && value != "never")
                    return ReportUsage(session.err, "--color takes auto, always or never");
                color = value;
                continue;
            }
            std::optional<size_t> k = ParseIndex(value);
            if (!k) return ReportUsage(session.err, "'" + value + "' is not a version index");
            (arg == "--from" ? from : to.emplace()) = *k;
            continue;
        }
        if (arg.starts_with("--") || name)
            return ReportUsage(session.err, "unknown argument '" + arg + "' for diff");
        name = arg;
    }
    if (!name) return ReportUsage(session.err, "diff needs a document name");
    size_t newer = to.value_or(from == 0 ? 0 : from - 1);
    if (newer >= from)
        return ReportUsage(session.err, "--to must name a newer version than --from");
    size_t index = FindNamed(session, *name);
    if (index == DocumentTable::kNoSlot) return session.NoDocument(*name);
    DocumentRecord record = session.doc().Record(index);
    ChangeView view = session.doc().ChangesOf(index);
    if (view.versions().size() < 2) {
        session.err << "wardctl: \"" << *name << "\" has no earlier version kept yet.\n";
        return kExitNoDifference;
    }
    if (from >= view.versions().size())
        return ReportUsage(session.err, "\"" + *name + "\" has versions 0 to " +
                                            std::to_string(view.versions().size() - 1));
    std::optional<VersionChange> change = view.Compare(from, newer, source);
    if (!change) {
        session.err << "wardctl: a version of \"" << *name << "\" cannot be read.\n";
        return kExitWriteFailed;
    }
    std::string fromLabel = change->fromLabel + " " + VersionName(from);
    std::string toLabel = change->toLabel + " " + VersionName(newer);
    switch (change->kind) {
        case VersionChange::Kind::NotKept:
            session.err << "wardctl: "
                        << (view.versions()[from].kept ? VersionName(newer) : VersionName(from))
                        << " was not kept: it was larger than the bound.\n";
            return kExitNoDifference;
        case VersionChange::Kind::Binary:
            if (change->same()) return kExitNoDifference;
            session.out << "Binary copies differ: " << fromLabel << ": " << change->binary.oldSize
                        << " bytes, " << toLabel << ": " << change->binary.newSize
                        << " bytes, first difference at byte " << *change->binary.firstDifference
                        << ".\n";
            break;
        case VersionChange::Kind::Text: {
            if (change->diff.same()) return kExitNoDifference;
            bool colored = color == "always" || (color == "auto" && &session.out == &std::cout &&
                                                 isatty(STDOUT_FILENO) == 1);
            session.out << FormatUnifiedDiff(change->diff, fromLabel, toLabel, colored);
            break;
        }
    }
    if (change->oldCount && change->newCount)
        session.out << "Count of \"" << FieldText(record.countString) << "\": " << *change->oldCount
                    << " -> " << *change->newCount << '\n';
    return kExitOk;
}

}  // namespace wardlet
