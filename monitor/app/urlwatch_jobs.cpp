#include "monitor/app/urlwatch_jobs.h"

#include <curl/curl.h>
#include <yaml-cpp/yaml.h>

#include <array>
#include <memory>
#include <optional>

#include "common/little_endian.h"
#include "monitor/app/urlwatch_filters.h"

namespace wardlet {
namespace {

// Keys of a urlwatch job that change only how urlwatch reports or retries, not what is watched.
constexpr std::array<std::string_view, 18> kHarmlessKeys = {
    "name",
    "url",
    "kind",
    "max_tries",
    "diff_tool",
    "compared_versions",
    "diff_filter",
    "treat_new_as_changed",
    "user_visible_url",
    "ignore_cached",
    "ignore_connection_errors",
    "ignore_http_error_codes",
    "ignore_timeout_errors",
    "ignore_too_many_redirects",
    "timeout",
    "encoding",
    "http_proxy",
    "https_proxy",
};

bool IsHarmless(std::string_view key) {
    for (auto harmless : kHarmlessKeys)
        if (key == harmless) return true;
    return false;
}

// The URL as the report shows it: a password in it is not printed.
std::string WithoutAccount(std::string_view url) {
    size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    size_t host = scheme + 3;
    size_t at = url.find('@', host);
    if (at == std::string_view::npos || at > url.find('/', host)) return std::string(url);
    return std::string(url.substr(0, host)) + std::string(url.substr(at + 1));
}

// The scheme in small letters ("https" of "HTTPS://..."); empty when the text starts with none.
std::string SchemeOf(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == 0 || colon == std::string_view::npos) return {};
    std::string scheme;
    for (char c : url.substr(0, colon)) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && (scheme.empty() || !other)) return {};
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return scheme;
}

struct CurlUrl {
    CURLU* handle = curl_url();
    ~CurlUrl() { curl_url_cleanup(handle); }
    // The part, decoded when asked; empty when the URL has none.
    std::string Part(CURLUPart part, unsigned flags = 0) const {
        char* text = nullptr;
        if (curl_url_get(handle, part, &text, flags) != CURLUE_OK || !text) return {};
        std::string value(text);
        curl_free(text);
        return value;
    }
};

// A filter chain as urlwatch writes it: "html2text,grep:foo", or a list of "name:argument"
// texts and {name: argument} maps.
bool ReadFilters(const YAML::Node& node, std::vector<UrlwatchFilter>& filters) {
    auto fromText = [&](std::string_view text) {
        size_t colon = text.find(':');
        filters.push_back(
            {std::string(text.substr(0, colon)),
             colon == std::string_view::npos ? "" : std::string(text.substr(colon + 1))});
    };
    if (node.IsScalar()) {
        const std::string& chain = node.Scalar();
        for (size_t start = 0; start <= chain.size();) {
            size_t comma = std::min(chain.find(',', start), chain.size());
            if (comma > start) fromText(std::string_view(chain).substr(start, comma - start));
            start = comma + 1;
        }
        return true;
    }
    if (!node.IsSequence()) return false;
    for (const auto& item : node) {
        if (item.IsScalar()) {
            fromText(item.Scalar());
        } else if (item.IsMap() && item.size() == 1) {
            auto entry = item.begin();
            if (!entry->first.IsScalar()) return false;
            filters.push_back(
                {entry->first.Scalar(), entry->second.IsScalar() ? entry->second.Scalar() : ""});
        } else {
            return false;
        }
    }
    return true;
}

std::string ScalarOf(const YAML::Node& map, const char* key) {
    YAML::Node value = map[key];
    return value && value.IsScalar() ? value.Scalar() : std::string();
}

ImportJob ReadJob(const YAML::Node& node, size_t number) {
    ImportJob job;
    job.label = "job " + std::to_string(number);
    auto skip = [&](std::string reason) {
        job.reason = std::move(reason);
        return job;
    };
    if (!node.IsMap()) return skip("malformed job: not a set of \"key: value\" lines");
    for (const auto& entry : node)
        if (!entry.first.IsScalar()) return skip("malformed job: a key that is not a text");
    std::string name = ScalarOf(node, "name");
    std::string url = ScalarOf(node, "url");
    if (!name.empty()) {
        job.label = name;
    } else if (!url.empty()) {
        job.label = WithoutAccount(url);
    } else if (std::string command = ScalarOf(node, "command"); !command.empty()) {
        job.label = command;
    }
    if (node["command"]) return skip("command jobs (command:) are not supported");
    if (node["navigate"]) return skip("browser jobs (navigate:) are not supported");
    if (!node["url"]) return skip("malformed job: it has no url:");
    if (url.empty()) return skip("malformed job: url: is not a text");
    for (const auto& entry : node) {
        std::string key = entry.first.Scalar();
        if (IsHarmless(key) || key == "filter") continue;
        const YAML::Node& value = entry.second;
        if (key == "method" && value.IsScalar() && value.Scalar() == "GET") continue;
        if (key == "ssl_no_verify" && value.IsScalar() && value.Scalar() == "false") continue;
        if (key == "method" || key == "data" || key == "headers" || key == "cookies" ||
            key == "ssl_no_verify")
            return skip(key + ": is not supported");
        return skip("unknown key " + key + ":");
    }
    if (!DocumentFromUrl(url, job.input, job.reason)) return job;
    if (YAML::Node filter = node["filter"]; filter && !filter.IsNull()) {
        std::vector<UrlwatchFilter> filters;
        if (!ReadFilters(filter, filters)) return skip("malformed job: filter: cannot be read");
        for (const auto& step : filters)
            if (std::string problem = ApplyUrlwatchFilter(step, job.input, job.filters);
                !problem.empty())
                return skip(problem);
    }
    job.input.name = name.empty() ? NameFromUrl(url) : SafeName(name);
    if (job.input.name.empty()) job.input.name = NameFromUrl(url);
    job.importable = true;
    return job;
}

}  // namespace

bool DocumentFromUrl(const std::string& url, DocumentInput& input, std::string& reason) {
    constexpr std::string_view kFileScheme = "file://";
    if (url.rfind(kFileScheme, 0) == 0) {
        std::string path = url.substr(kFileScheme.size());
        if (path.empty() || path[0] != '/') {
            reason = "the file URL does not name an absolute path";
            return false;
        }
        input.type = DocumentType::LocalFile;
        input.location = path;
        return true;
    }
    std::string scheme = SchemeOf(url);
    if (scheme == "http" || scheme == "https") {
        input.type = DocumentType::WebPage;
    } else if (scheme == "ftp") {
        input.type = DocumentType::FtpFile;
    } else {
        reason = scheme.empty() ? "the URL has no scheme such as https:"
                                : "URLs of the scheme " + scheme + ": are not supported";
        return false;
    }
    CurlUrl parsed;
    if (curl_url_set(parsed.handle, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        reason = "the URL cannot be read";
        return false;
    }
    input.location = url;
    std::string user = parsed.Part(CURLUPART_USER, CURLU_URLDECODE);
    std::string password = parsed.Part(CURLUPART_PASSWORD, CURLU_URLDECODE);
    if (!user.empty() || !password.empty()) {
        // The account is kept apart from the location, as the properties editor keeps it.
        input.account = true;
        input.userName = user;
        input.password = password;
        curl_url_set(parsed.handle, CURLUPART_USER, nullptr, 0);
        curl_url_set(parsed.handle, CURLUPART_PASSWORD, nullptr, 0);
        input.location = parsed.Part(CURLUPART_URL);
    }
    return true;
}

std::string SafeName(std::string_view wanted) {
    std::string name;
    for (unsigned char c : wanted) {
        std::string one(1, static_cast<char>(c));
        name += NameHasAllowedCharacters(one) ? one : "_";
    }
    size_t first = name.find_first_not_of(" \t_");
    if (first == std::string::npos) return {};
    size_t last = name.find_last_not_of(" \t_");
    name = name.substr(first, last - first + 1);
    constexpr size_t kLongest = kMaxNameBytes - 8;  // room for " (NNNN)"
    if (name.size() > kLongest) {
        size_t cut = kLongest;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

std::string NameFromUrl(std::string_view url) {
    std::string plain = WithoutAccount(url);  // never a password in a name
    std::string_view rest = plain;
    size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
    while (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    return SafeName(rest);
}

ImportSource ReadUrlwatchJobs(std::string_view text) {
    ImportSource source;
    std::vector<YAML::Node> documents;
    try {
        documents = YAML::LoadAll(std::string(text));
    } catch (const YAML::Exception& error) {
        source.error = "the file is not YAML: " + error.msg + " (line " +
                       std::to_string(error.mark.line + 1) + ", column " +
                       std::to_string(error.mark.column + 1) + ")";
        return source;
    }
    size_t number = 0;
    for (const auto& document : documents) {
        if (document.IsNull()) continue;  // an empty document, as after a final "---"
        try {
            source.jobs.push_back(ReadJob(document, ++number));
        } catch (const YAML::Exception& error) {
            ImportJob job;
            job.label = "job " + std::to_string(number);
            job.reason = "malformed job: " + error.msg;
            source.jobs.push_back(std::move(job));
        }
    }
    return source;
}

ImportSource ReadUrlList(std::string_view text) {
    ImportSource source;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        ImportJob job;
        job.label = WithoutAccount(line);
        if (DocumentFromUrl(std::string(line), job.input, job.reason)) {
            job.input.name = NameFromUrl(line);
            job.importable = true;
        }
        source.jobs.push_back(std::move(job));
    }
    return source;
}

std::optional<std::string> UrlwatchJobsYaml(const std::vector<DocumentRecord>& records,
                                            std::vector<std::string>& notes) {
    YAML::Emitter out;
    for (const auto& r : records) {
        std::string name(FieldText(r.name));
        std::string location(FieldText(r.location));
        std::string url;
        switch (TypeOf(r)) {
            case DocumentType::WebPage:
            case DocumentType::WebFile:
                url = BuildWebLocation(location);
                break;
            case DocumentType::FtpFile:
                url = location.find("://") == std::string::npos ? "ftp://" + location : location;
                break;
            case DocumentType::LocalFile:
                url = "file://" + location;
                break;
            default:
                notes.push_back(name + ": a document of an unknown type is left out");
                continue;
        }
        if (FlagOn(r.useAccount))
            notes.push_back(name + ": the user name and password are not written");
        if (MethodOf(r) != CheckMethod::Simple)
            notes.push_back(name + ": urlwatch has no count or middle method; the whole " +
                            "document is watched");
        out << YAML::BeginDoc << YAML::BeginMap << YAML::Key << "name" << YAML::Value << name
            << YAML::Key << "url" << YAML::Value << url << YAML::EndMap;
    }
    if (!out.good()) return std::nullopt;
    std::string text = out.c_str();
    if (!text.empty()) text += '\n';
    return text;
}

}  // namespace wardlet
