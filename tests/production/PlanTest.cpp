// Plans as test engineers write them, and as they get them wrong.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "Plan.h"

namespace {

const char* const kHead = "name = \"出厂测试 TC-K\"\nrevision = \"3\"\n";

std::optional<Plan> Parse(const QString& body, PlanError* error, const QString& path = {}) {
    return ParsePlan((QString::fromUtf8(kHead) + body).toUtf8(), path, error);
}

struct BadPlan {
    const char* body;  // after the two lines of name and revision
    int line;
    int column;
    const char* says;
};

const BadPlan kBadPlans[] = {
    {"[[step]]\nkind = \"wait\"\nms = 10\ncolour = 1\n", 6, 1, "unknown key 'colour'"},
    {"[[step]]\nkind = \"wait\"\nms = \"10\"\n", 5, 6, "'ms' must be a whole number"},
    {"[[step]]\nkind = \"wiat\"\n", 4, 8, "no step kind 'wiat'"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"channel.0.acquired\"\nlow = 10.02\n"
     "high = 9.98\n",
     6, 7, "wrong way round"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"channel.7.acquired\"\nlow = 1\nhigh = 2\n", 5, 12,
     "channel 7 does not exist"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"channel.0.voltage\"\nlow = 1\nhigh = 2\n", 5, 12,
     "no channel quantity 'voltage'"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"channel.0.acquired\"\nchannels = \"0-5\"\n"
     "low = 1\nhigh = 2\n",
     5, 12, "without its channel number"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"channel.acquired\"\nlow = 1\nhigh = 2\n", 5, 12,
     "needs a channel number"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"register.100\"\nlow = 1\nhigh = 2\n", 5, 12,
     "not polled"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"channel.0.acquired\"\nlow = 1\nhigh = 2\n"
     "unit = \"°C\"\n",
     8, 8, "is in mV or Ω"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"cold_junction\"\nlow = 1\nhigh = 5\n"
     "marginal_low = 0.5\n",
     8, 16, "'marginal_low' must lie inside"},
    {"[[step]]\nkind = \"measure\"\nquantity = \"version\"\nlow = 1\n", 3, 1, "needs 'high'"},
    {"[[step]]\nkind = \"write\"\nregister = 12\nvalue = 1\n", 5, 12, "'register' must be 30"},
    {"[[step]]\nkind = \"command\"\nrun = []\n", 5, 7, "'run' must be a list of texts"},
    {"[[step]]\nkind = \"prompt\"\ntext = \"x\"\nkey = \"Return\"\n", 6, 7, "'key' must be one of"},
    {"[[step]]\nkind = \"config\"\nprofile = \"missing.json\"\n", 5, 11, "no such file"},
    {"[expect]\nmode = \"thermo\"\n[[step]]\nkind = \"wait\"\nms = 1\n", 4, 8, "'mode' must be"},
    {"[[step]]\nkind = \"wait\"\nms = 1\n[[step]]\nkind = \"wait\"\n", 6, 1, "step 2 needs 'ms'"},
    {"[[step]\nkind = \"wait\"\n", 3, 8, "expected ']'"},  // not TOML at all
    {"", 1, 1, "no [[step]]"},
};

TEST(PlanReader, BadPlansAreRefusedWithLineAndColumn) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.toml"));
    for (const BadPlan& bad : kBadPlans) {
        SCOPED_TRACE(bad.body);
        PlanError error;
        EXPECT_FALSE(Parse(QString::fromUtf8(bad.body), &error, path));
        EXPECT_EQ(error.line, bad.line) << error.message.toStdString();
        EXPECT_EQ(error.column, bad.column) << error.message.toStdString();
        EXPECT_TRUE(error.message.contains(QString::fromUtf8(bad.says)))
            << error.message.toStdString();
    }
}

TEST(PlanReader, ChannelsSpreadIntoOneStepEachAndFilesAreTakenBesideThePlan) {
    QTemporaryDir dir;
    QFile profile(dir.filePath(QStringLiteral("tc-k.json")));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    profile.write("{}");
    profile.close();
    PlanError error;
    const auto plan = Parse(QStringLiteral("continue_on_fail = true\n"
                                           "[expect]\nfirmware = \"1.50\"\nmode = \"pt100\"\n"
                                           "[[step]]\nkind = \"config\"\nprofile = \"tc-k.json\"\n"
                                           "[[step]]\nkind = \"measure\"\nname = \"100R\"\n"
                                           "quantity = \"channel.acquired\"\nchannels = \"1-3,5\"\n"
                                           "samples = 4\nlow = 99.9\nhigh = 100.1\nunit = \"Ω\"\n"
                                           "# a comment\n"),
                            &error, dir.filePath(QStringLiteral("plan.toml")));
    ASSERT_TRUE(plan) << error.message.toStdString();
    EXPECT_TRUE(plan->continueOnFail);
    EXPECT_EQ(plan->expect.firmwareVersion, 150);
    EXPECT_EQ(plan->expect.mode, 1);
    ASSERT_EQ(plan->steps.size(), 5u);
    EXPECT_EQ(plan->steps[0].file, profile.fileName());
    EXPECT_EQ(plan->files, QStringList{profile.fileName()});
    const char* names[] = {"CH1 100R", "CH2 100R", "CH3 100R", "CH5 100R"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(plan->steps[static_cast<std::size_t>(i) + 1].name, QLatin1String(names[i]));
    }
    EXPECT_EQ(plan->steps[4].quantity.Name(), QStringLiteral("channel.5.acquired"));
}

TEST(PlanReader, TheExamplePlanIsGood) {
    PlanError error;
    const auto plan = ReadPlanFile(QStringLiteral(VR7C_EXAMPLE_PLAN), &error);
    ASSERT_TRUE(plan) << error.Text(QStringLiteral(VR7C_EXAMPLE_PLAN)).toStdString();
    EXPECT_EQ(plan->steps.size(), 13u);
    EXPECT_EQ(plan->files.size(), 1u);
}

}  // namespace
