// The json and SARIF fixes say whether a repair is safe, and only a safe one: read back with a
// JSON parser, a safe fix carries "safe": true (SARIF: in the fix's property bag) and any
// other fix carries nothing more than before.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "document_run.h"
#include "format/output.h"
#include "format/writer.h"

namespace {

using namespace delimcheck;
using namespace delimcheck::format;

std::string written(format_kind kind, bool safe)
{
    diagnostic d;
    d.kind = diagnostic_kind::missing_closer;
    d.at = {3, 4};
    d.expected = '}';
    d.opener = {1, 11};
    d.opener_byte = '{';
    d.fix = {"insert } after line 2", {{{3, 1}, {3, 1}, "}\n"}}, safe, safe, "test"};
    format_settings s;
    s.kind = kind;
    s.working_directory = "/w";
    std::string text;
    string_destination dest(text);
    output out(dest);
    {
        document_run run(s, out);
        std::string name = "p.tcl";
        run.input(&name, [&](input_writer &w) { w.report(d); });
    }
    out.flush();
    return text;
}

TEST(SafeFix, JsonAndSarifCarryTheFlag)
{
    for (bool safe : {true, false}) {
        nlohmann::json json = nlohmann::json::parse(written(format_kind::json, safe));
        const nlohmann::json &fix = json.at(0).at("fix");
        EXPECT_EQ(fix.at("edits").size(), 1u);
        EXPECT_EQ(fix.contains("safe"), safe) << fix;
        if (safe) {
            EXPECT_EQ(fix.at("safe"), true);
        }

        nlohmann::json sarif = nlohmann::json::parse(written(format_kind::sarif, safe));
        const nlohmann::json &sfix = sarif.at("runs").at(0).at("results").at(0).at("fixes").at(0);
        EXPECT_EQ(sfix.at("artifactChanges").size(), 1u);
        EXPECT_EQ(sfix.contains("properties"), safe) << sfix;
        if (safe) {
            EXPECT_EQ(sfix.at("properties"), nlohmann::json({{"safe", true}}));
        }
    }
}

} // namespace
