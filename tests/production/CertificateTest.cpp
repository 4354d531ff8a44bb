// The unit's certificate: built from the record with every outside text escaped, written by
// vr7c records report, and drawn by a real browser.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "Certificate.h"
#include "FakeUnit.h"
#include "RecordStore.h"
#include "RunRecorder.h"

namespace {

const QString kHostile = QStringLiteral("<script>alert('x')</script>&\"");

// A run of two measurements on a fake unit, CH1 reading `ch1` (10 mV passes), on record.
RunRecord RecordedRun(RecordStore& store, std::int32_t ch1) {
    PlanError planError;
    const Plan plan = *ParsePlan(
        "name = \"出厂测试 <TC-K>\"\nrevision = \"3\"\n[[step]]\nkind = \"measure\"\n"
        "name = \"10mV\"\nquantity = \"channel.acquired\"\nchannels = \"0-1\"\nsamples = 2\n"
        "low = 9.98\nhigh = 10.02\nunit = \"mV\"\n",
        {}, &planError);
    QString error;
    RunRecord run = *NewRun(plan, &error);
    run.serial = QStringLiteral("SN-") + kHostile;
    run.operatorName = QStringLiteral("张三 ") + kHostile;
    run.bench = QStringLiteral("线1");
    EXPECT_TRUE(store.BeginRun(run, &error)) << error.toStdString();
    FakeUnit unit;
    unit.SetAcquired(0, 1000100);
    unit.SetAcquired(1, ch1);
    RunRecorder recorder(store);
    Runner(plan, unit, recorder).Run(run);
    EXPECT_TRUE(store.FinishRun(run, &error)) << error.toStdString();
    return run;
}

TEST(Certificate, StatesEveryMeasurementAndEscapesWhatCameFromOutside) {
    QTemporaryDir dir;
    QString error;
    auto store = RecordStore::OpenLocal(dir.filePath(QStringLiteral("r.sqlite")), &error);
    ASSERT_TRUE(store) << error.toStdString();
    const RunRecord run = *store->Load(RecordedRun(*store, 1005000).uuid, &error);
    const QString html = CertificateHtml(run);
    EXPECT_FALSE(html.contains(QStringLiteral("<script")));
    EXPECT_TRUE(
        html.contains(QStringLiteral("SN-&lt;script&gt;alert('x')&lt;/script&gt;&amp;&quot;")));
    EXPECT_TRUE(html.contains(QStringLiteral("出厂测试 &lt;TC-K&gt;")));
    for (const char* text : {"CH0 10mV", "CH1 10mV", "9.98 … 10.02", "10.001", "10.05", "PASS",
                             "FAIL", "不合格", "线1", "张三"}) {
        EXPECT_TRUE(html.contains(QString::fromUtf8(text))) << text;
    }
}

TEST(Certificate, ReportWritesThePageAndABrowserDrawsIt) {
    QTemporaryDir dir;
    const QString records = dir.filePath(QStringLiteral("r.sqlite"));
    QString error;
    auto store = RecordStore::OpenLocal(records, &error);
    ASSERT_TRUE(store) << error.toStdString();
    const RunRecord run = RecordedRun(*store, 1000000);
    store.reset();
    const QString html = dir.filePath(QStringLiteral("cert.html"));
    QProcess vr7c;
    vr7c.start(QStringLiteral(VR7C_PATH),
               {"records", "report", run.serial, "--html", html, "--records", records});
    ASSERT_TRUE(vr7c.waitForFinished(30000));
    ASSERT_EQ(vr7c.exitCode(), 0) << vr7c.readAllStandardError().toStdString();

    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        GTEST_SKIP() << "chromium is not installed (tools/install-deps --tests installs it)";
    }
    const QString png = dir.filePath(QStringLiteral("cert.png"));
    QProcess browser;
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--screenshot=" + png,
                             "--window-size=1024,1400", "file://" + html});
    ASSERT_TRUE(browser.waitForFinished(120000));
    const QImage shot(png);
    ASSERT_EQ(shot.size(), QSize(1024, 1400)) << browser.readAllStandardError().toStdString();
    // The result line is drawn in green: a page that failed to load or to lay out has none.
    int green = 0;
    for (int y = 0; y < shot.height(); y += 2) {
        for (int x = 0; x < shot.width(); x += 2) {
            const QColor c = shot.pixelColor(x, y);
            green += c.green() > 100 && c.red() < 60 && c.blue() < 60;
        }
    }
    EXPECT_GT(green, 200);
}

}  // namespace
