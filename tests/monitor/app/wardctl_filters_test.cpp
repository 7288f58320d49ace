// wardctl's filter options: add, edit, show and try over a real data folder and the tests'
// HTTP peer on loopback.
#include <gtest/gtest.h>

#include <sstream>

#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/app/wardctl_commands.h"
#include "monitor/model/document_filters.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome Wardctl(std::vector<std::string> args) {
    std::ostringstream o, e;
    int status = RunWardctl(args, o, e);
    return {status, o.str(), e.str()};
}

constexpr char kPage[] =
    "<html><body><p class=\"clock\">12:00</p><ul id=\"news\"><li>9 Dec: Kettles</li>"
    "<li>8 Dec: Teapots</li></ul><div class=\"price\">10 EUR</div></body></html>";

class WardctlFilters : public ::testing::Test {
protected:
    TempDataHome home_;
    HttpPeer peer_;
    std::filesystem::path data_ = home_.dataFolder();
};

TEST_F(WardctlFilters, AddShowEditAndTry) {
    peer_.SetPage("shop", kPage);
    Outcome add = Wardctl({"add", "--type", "web-page", "--name", "shop", "--location",
                           peer_.Url("shop"), "--select", "#news li", "--text-only", "--ignore",
                           "^[0-9]+ Dec: Teapots$", "--ignore", "x{2}", "--trigger", "kettle"});
    ASSERT_EQ(add.status, 0) << add.err;
    Outcome show = Wardctl({"show", "shop"});
    EXPECT_NE(show.out.find("middleEnd: \ncss: #news li\ntextOnly: 1\nignore: ^[0-9]+ Dec: "
                            "Teapots$\nignore: x{2}\ntrigger: kettle\ntriggerOnRemoved: 0\n"),
              std::string::npos)
        << show.out;
    Outcome json = Wardctl({"show", "shop", "--json"});
    EXPECT_NE(json.out.find("\"filters\":{\"css\":\"#news li\""), std::string::npos) << json.out;

    Outcome tried = Wardctl({"try", "shop"});
    EXPECT_EQ(tried.status, 0) << tried.err;
    EXPECT_EQ(tried.out, "9 Dec: Kettles\n");

    // Edit changes only what it names; the selector that matches nothing is told by try.
    ASSERT_EQ(Wardctl({"edit", "shop", "--select", "div.offer", "--no-ignore"}).status, 0);
    Outcome gone = Wardctl({"try", "shop"});
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.err,
              "wardctl: shop: The CSS selector \"div.offer\" matches nothing on the page.\n");
    ASSERT_EQ(Wardctl({"edit", "shop", "--xpath", "//div[@class='price']", "--whole-text",
                       "--no-trigger"})
                  .status,
              0);
    EXPECT_EQ(Wardctl({"try", "shop"}).out, "<div class=\"price\">10 EUR</div>\n");
    ASSERT_EQ(Wardctl({"edit", "shop", "--no-filters"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(FiltersFile(data_, "shop")));
    EXPECT_EQ(Wardctl({"try", "shop"}).out, std::string(kPage) + "\n");
    EXPECT_EQ(Wardctl({"show", "shop"}).out.find("css:"), std::string::npos);
}

TEST_F(WardctlFilters, BadFiltersAreRefusedWithTheirReason) {
    std::vector<std::string> page = {"add", "--type",     "web-page",    "--name",
                                     "p",   "--location", peer_.Url("p")};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = page;
        args.insert(args.end(), more.begin(), more.end());
        return Wardctl(args);
    };
    Outcome css = with({"--select", "li + li"});
    EXPECT_EQ(css.status, 65);
    EXPECT_NE(css.err.find("uses \"+\", which is not supported"), std::string::npos) << css.err;
    Outcome pattern = with({"--ignore", "a(b"});
    EXPECT_EQ(pattern.status, 65);
    EXPECT_EQ(pattern.err, "wardctl: The pattern \"a(b\" is not valid: missing ): a(b.\n");
    EXPECT_EQ(with({"--select", "a", "--xpath", "//a"}).status, 64);
    Outcome local = Wardctl({"add", "--type", "local-file", "--name", "f", "--location",
                             "/etc/hostname", "--text-only"});
    EXPECT_EQ(local.status, 65);
    EXPECT_EQ(local.err, "wardctl: Filters apply to web pages and web files only.\n");
    // Nothing was added by any of them.
    EXPECT_EQ(Wardctl({"list"}).out, "");
    EXPECT_EQ(Wardctl({"edit", "nobody", "--text-only"}).status, 66);
}

TEST_F(WardctlFilters, CheckTellsWhyAFilteredPageIsUnavailable) {
    peer_.SetPage("shop", kPage);
    ASSERT_EQ(Wardctl({"add", "--type", "web-page", "--name", "shop", "--location",
                       peer_.Url("shop"), "--select", "div.price"})
                  .status,
              0);
    EXPECT_EQ(Wardctl({"check"}).status, 0);
    std::string page = kPage;
    page.replace(page.find("price"), 5, "cost");
    peer_.SetPage("shop", page);
    Outcome check = Wardctl({"check"});
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.err,
              "wardctl: shop: The CSS selector \"div.price\" matches nothing on the page.\n");
    EXPECT_EQ(ReadBytes(data_ / "shop.content"), "<div class=\"price\">10 EUR</div>\n");
}

}  // namespace
}  // namespace wardlet::test
