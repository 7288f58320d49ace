#include "monitor/changes/css_selector.h"

#include <cctype>
#include <charconv>

namespace wardlet {
namespace {

constexpr char kTaken[] =
    " (taken: type, #id, .class, [a], [a=b], descendant, >, lists with , and :nth-child(n))";

bool IsNameByte(char c) {
    auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '_' || u >= 0x80;
}

// An XPath string literal of `text`: quoted with whichever quote it lacks, else concat().
std::string Literal(std::string_view text) {
    if (text.find('\'') == std::string_view::npos) return "'" + std::string(text) + "'";
    if (text.find('"') == std::string_view::npos) return "\"" + std::string(text) + "\"";
    std::string out = "concat(";
    size_t from = 0;
    while (from <= text.size()) {
        size_t quote = text.find('\'', from);
        std::string_view piece = text.substr(
            from, quote == std::string_view::npos ? std::string_view::npos : quote - from);
        if (!piece.empty()) out += "'" + std::string(piece) + "',";
        if (quote == std::string_view::npos) break;
        out += "\"'\",";
        from = quote + 1;
    }
    out.back() = ')';
    return out;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

class Parser {
public:
    Parser(std::string_view css, std::string& problem) : css_(css), problem_(problem) {}

    std::optional<CssSelector> Run() {
        CssSelector selector;
        for (;;) {
            SkipSpace();
            std::optional<CssSelector::Complex> one = Complex();
            if (!one) return std::nullopt;
            selector.alternatives.push_back(std::move(*one));
            SkipSpace();
            if (at_ == css_.size()) break;
            if (css_[at_] != ',') return Refuse();
            ++at_;
        }
        return selector;
    }

private:
    std::optional<CssSelector::Complex> Complex() {
        CssSelector::Complex steps;
        bool child = false;
        for (;;) {
            std::optional<CssSelector::Compound> step = Compound();
            if (!step) return std::nullopt;
            step->childOfPrevious = child;
            steps.push_back(std::move(*step));
            if (steps.size() > kMaxCssCompounds) {
                problem_ = "The CSS selector \"" + std::string(css_) + "\" has more than " +
                           std::to_string(kMaxCssCompounds) + " parts in a row.";
                return std::nullopt;
            }
            bool space = SkipSpace();
            if (at_ == css_.size() || css_[at_] == ',') return steps;
            if (css_[at_] == '>') {
                ++at_;
                SkipSpace();
                child = true;
            } else if (space) {
                child = false;
            } else {
                return Refuse();
            }
        }
    }

    std::optional<CssSelector::Compound> Compound() {
        CssSelector::Compound compound{"*", {}, false};
        if (at_ < css_.size() && css_[at_] == '*') {
            ++at_;
        } else if (at_ < css_.size() && IsNameByte(css_[at_])) {
            compound.type = Lower(Name());
        }
        bool any = compound.type != "*" || (at_ > 0 && css_[at_ - 1] == '*');
        using Kind = CssSelector::Test::Kind;
        while (at_ < css_.size()) {
            char c = css_[at_];
            if (c == '#' || c == '.') {
                ++at_;
                std::string name = Name();
                if (name.empty()) return Refuse();
                compound.tests.push_back({c == '#' ? Kind::Id : Kind::Class, name, {}, 0});
            } else if (c == '[') {
                std::optional<CssSelector::Test> test = Attribute();
                if (!test) return std::nullopt;
                compound.tests.push_back(std::move(*test));
            } else if (c == ':') {
                std::optional<CssSelector::Test> test = NthChild();
                if (!test) return std::nullopt;
                compound.tests.push_back(std::move(*test));
            } else {
                break;
            }
            any = true;
        }
        if (!any) return Refuse();
        return compound;
    }

    std::optional<CssSelector::Test> Attribute() {
        using Kind = CssSelector::Test::Kind;
        size_t begin = at_++;
        SkipSpace();
        std::string name = Lower(Name());
        SkipSpace();
        if (name.empty() || at_ >= css_.size()) return Refuse(begin);
        if (css_[at_] == ']') {
            ++at_;
            return CssSelector::Test{Kind::HasAttribute, name, {}, 0};
        }
        if (css_[at_] != '=') return Refuse(begin);
        ++at_;
        SkipSpace();
        std::string value;
        if (at_ < css_.size() && (css_[at_] == '"' || css_[at_] == '\'')) {
            char quote = css_[at_++];
            size_t end = css_.find(quote, at_);
            if (end == std::string_view::npos) return Refuse(begin);
            value = std::string(css_.substr(at_, end - at_));
            at_ = end + 1;
        } else {
            value = Name();
            if (value.empty()) return Refuse(begin);
        }
        SkipSpace();
        if (at_ >= css_.size() || css_[at_] != ']') return Refuse(begin);
        ++at_;
        return CssSelector::Test{Kind::AttributeEquals, name, value, 0};
    }

    std::optional<CssSelector::Test> NthChild() {
        constexpr std::string_view kNth = ":nth-child(";
        size_t begin = at_;
        if (css_.substr(at_, kNth.size()) != kNth) return Refuse();
        at_ += kNth.size();
        size_t close = css_.find(')', at_);
        if (close == std::string_view::npos) return Refuse(begin);
        std::string_view number = css_.substr(at_, close - at_);
        int n = 0;
        auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
        if (ec != std::errc() || end != number.data() + number.size() || n < 1)
            return Refuse(begin, close + 1);
        at_ = close + 1;
        return CssSelector::Test{CssSelector::Test::Kind::NthChild, {}, {}, n};
    }

    std::string Name() {
        size_t begin = at_;
        while (at_ < css_.size() && IsNameByte(css_[at_]))
            ++at_;
        return std::string(css_.substr(begin, at_ - begin));
    }

    bool SkipSpace() {
        size_t begin = at_;
        while (at_ < css_.size() && std::isspace(static_cast<unsigned char>(css_[at_])))
            ++at_;
        return at_ > begin;
    }

    // Names the part from `begin` (the current position by default) up to the next space or
    // combinator, or to `end`.
    std::nullopt_t Refuse(size_t begin = std::string_view::npos,
                          size_t end = std::string_view::npos) {
        if (begin == std::string_view::npos) begin = at_;
        if (end == std::string_view::npos) {
            end = begin + 1;
            while (end < css_.size() && !std::isspace(static_cast<unsigned char>(css_[end])) &&
                   css_[end] != ',' && css_[end] != '>')
                ++end;
        }
        std::string part(css_.substr(begin, end - begin));
        problem_ = part.empty() ? "The CSS selector \"" + std::string(css_) + "\" is incomplete."
                                : "The CSS selector \"" + std::string(css_) + "\" uses \"" + part +
                                      "\", which is not supported" + kTaken + ".";
        return std::nullopt;
    }

    std::string_view css_;
    std::string& problem_;
    size_t at_ = 0;
};

std::string TestToXPath(const CssSelector::Test& test) {
    using Kind = CssSelector::Test::Kind;
    switch (test.kind) {
        case Kind::Id:
            return "[@id=" + Literal(test.name) + "]";
        case Kind::Class:
            return "[contains(concat(' ',normalize-space(@class),' ')," +
                   Literal(" " + test.name + " ") + ")]";
        case Kind::HasAttribute:
            return "[@" + test.name + "]";
        case Kind::AttributeEquals:
            return "[@" + test.name + "=" + Literal(test.value) + "]";
        case Kind::NthChild:
            return "[count(preceding-sibling::*)=" + std::to_string(test.position - 1) + "]";
    }
    return {};
}

}  // namespace

std::optional<CssSelector> ParseCss(std::string_view css, std::string& problem) {
    if (css.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        problem = "The CSS selector is empty.";
        return std::nullopt;
    }
    return Parser(css, problem).Run();
}

std::string ToXPath(const CssSelector& selector) {
    std::string xpath;
    for (const CssSelector::Complex& complex : selector.alternatives) {
        std::string path;
        for (const CssSelector::Compound& compound : complex) {
            path += compound.childOfPrevious ? "/" : "//";
            path += compound.type;
            for (const CssSelector::Test& test : compound.tests)
                path += TestToXPath(test);
        }
        xpath += xpath.empty() ? path : " | " + path;
    }
    return xpath;
}

std::optional<std::string> CssToXPath(std::string_view css, std::string& problem) {
    std::optional<CssSelector> selector = ParseCss(css, problem);
    if (!selector) return std::nullopt;
    return ToXPath(*selector);
}

}  // namespace wardlet
