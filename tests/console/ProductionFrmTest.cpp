// The test station window driven as an operator does: a plan, scanned serial numbers, a prompt
// confirmed in the window, results and records; the refusals; closing during a run; the
// certificate's PDF drawn by poppler.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "../production/FakeUnit.h"
#include "PostgresRig.h"
#include "RecordStore.h"
#include "TLineStatsFrm.h"
#include "TProductionFrm.h"

namespace {

constexpr char kPlan[] =
    "name = \"出厂测试 TC-K\"\nrevision = \"3\"\n"
    "[[step]]\nkind = \"prompt\"\ntext = \"请接通 10mV 信号\"\n"
    "[[step]]\nkind = \"measure\"\nname = \"10mV\"\nquantity = \"channel.acquired\"\n"
    "channels = \"0-1\"\nsamples = 2\nlow = 9.98\nhigh = 10.02\nunit = \"mV\"\n";

struct Station {
    QTemporaryDir dir;
    std::unique_ptr<TProductionFrm> window;
    std::map<QString, std::int32_t> ch1;  // CH1's reading by port; 10 mV passes
    QStringList asked;

    explicit Station(const QByteArray& plan = kPlan) {
        QFile file(dir.filePath(QStringLiteral("plan.toml")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(plan);
        file.close();
        window = std::make_unique<TProductionFrm>(dir.filePath(QStringLiteral("s.ini")), Records());
        window->openUnit = [this](const QString& port, QString*) {
            auto unit = std::make_unique<FakeUnit>();
            unit->SetAcquired(0, 1000000);
            unit->SetAcquired(1, ch1.count(port) ? ch1[port] : 1000000);
            return std::unique_ptr<UnitAccess>(std::move(unit));
        };
        window->ask = [this](QWidget*, const QString& text) {
            asked << text;
            return true;
        };
        window->LoadPlan(file.fileName());
        window->show();
    }
    QString Records() const { return dir.filePath(QStringLiteral("r.sqlite")); }
    void Scan(const QString& serial) {
        window->SerialEdit->setText(serial);
        QTest::keyClick(window->SerialEdit, Qt::Key_Return);
    }
    std::vector<RunRecord> Runs() {
        QString error;
        auto store = RecordStore::OpenLocal(Records(), &error);
        return *store->List({}, &error);
    }
    QString Result(int slot) { return window->ResultLabels[slot]->text(); }
};

TEST(ProductionFrm, TwoSlotsRunToTheirResultsWithOnePromptConfirmedInTheWindow) {
    Station s;
    s.window->SlotCount->setValue(2);
    s.ch1[QStringLiteral("COM2")] = 1005000;  // slot 2's unit reads 10.05 mV on CH1
    QSignalSpy ended(s.window.get(), &TProductionFrm::RunEnded);
    s.Scan(QStringLiteral("SN-A"));
    EXPECT_TRUE(s.Runs().empty());  // the run waits for the second slot's unit
    s.Scan(QStringLiteral("SN-B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window->ConfirmButton->isVisible(); }, 20000));
    EXPECT_EQ(s.window->PromptLabel->text(), QStringLiteral("请接通 10mV 信号"));
    QTest::mouseClick(s.window->ConfirmButton, Qt::LeftButton);
    ASSERT_TRUE(ended.wait(20000));

    EXPECT_EQ(s.Result(0), QStringLiteral("合格"));
    EXPECT_EQ(s.Result(1), QStringLiteral("不合格\nCH1 10mV"));
    QTableWidget* table = s.window->StepTables[1];
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(2, 1)->text(), QStringLiteral("10.05 mV"));
    EXPECT_EQ(table->item(2, 2)->text(), QStringLiteral("9.98 … 10.02"));
    EXPECT_EQ(table->item(2, 3)->text(), QStringLiteral("FAIL"));
    EXPECT_EQ(table->item(2, 3)->foreground().color(), QColor(200, 0, 0));
    EXPECT_TRUE(s.window->SerialEdit->hasFocus() || !QApplication::focusWidget());
    EXPECT_TRUE(s.window->DayLabel->text().contains(QStringLiteral("今日 2 件")));
    EXPECT_TRUE(s.window->DayLabel->text().contains(QStringLiteral("直通率 50.0%")));
    const auto runs = s.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(s.window->LastUnits->count(), 2);

    QTest::mouseClick(s.window->StatsButton, Qt::LeftButton);
    TLineStatsFrm& stats = *s.window->Stats();
    EXPECT_EQ(stats.MeasurementList->count(), 2);
    stats.MeasurementList->setCurrentIndex(1);
    EXPECT_TRUE(stats.SummaryLabel->text().startsWith(QStringLiteral("2 个值")))
        << stats.SummaryLabel->text().toStdString();
    const QString png = s.dir.filePath(QStringLiteral("chart.png"));
    EXPECT_EQ(stats.ExportPng(png), QString());
    EXPECT_FALSE(QImage(png).isNull());
}

TEST(ProductionFrm, RefusesABadPlanAndABadSerialNumberBeforeAnyRun) {
    Station s(
        "name = \"x\"\nrevision = \"1\"\n[[step]]\nkind = \"measure\"\nquantity = "
        "\"channel.9.acquired\"\nlow = 2\nhigh = 1\n");
    EXPECT_TRUE(s.window->MessageLabel->text().contains(QStringLiteral("plan.toml:")));
    EXPECT_TRUE(s.window->PlanEdit->text().isEmpty());
    s.Scan(QStringLiteral("SN-1"));
    EXPECT_EQ(s.window->MessageLabel->text(), QStringLiteral("请先选择测试方案"));

    Station good;
    for (const QString& serial : {QStringLiteral("SN\t1"), QString(65, QLatin1Char('x'))}) {
        good.Scan(serial);
        EXPECT_TRUE(good.window->MessageLabel->text().startsWith(QStringLiteral("序列号不能使用")));
    }
    // Two slots on one port (a COM number typed in lower case is the same one).
    good.window->SlotCount->setValue(2);
    good.window->SlotPorts[1]->setCurrentText(QStringLiteral("com1"));
    good.Scan(QStringLiteral("SN-1"));
    good.Scan(QStringLiteral("SN-2"));
    EXPECT_EQ(good.window->MessageLabel->text(), QStringLiteral("工位1 和工位2 使用同一端口 com1"));
    EXPECT_FALSE(good.window->Running());
    EXPECT_TRUE(good.Runs().empty());
}

TEST(ProductionFrm, ClosingDuringARunAsksAndRecordsItAborted) {
    Station s;
    s.Scan(QStringLiteral("SN-C"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window->ConfirmButton->isVisible(); }, 20000));
    QSignalSpy ended(s.window.get(), &TProductionFrm::RunEnded);
    s.window->close();
    ASSERT_EQ(s.asked.size(), 1);
    EXPECT_FALSE(s.window->isVisible());
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_FALSE(s.window->Running());
    const auto runs = s.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, Verdict::Aborted);
}

TEST(ProductionFrm, CertificatePdfIsDrawnInTheChineseFaces) {
    Station s;
    QSignalSpy ended(s.window.get(), &TProductionFrm::RunEnded);
    s.Scan(QStringLiteral("SN-<PDF>"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.window->ConfirmButton->isVisible(); }, 20000));
    QTest::mouseClick(s.window->ConfirmButton, Qt::LeftButton);
    ASSERT_TRUE(ended.wait(20000));
    const QString pdf = s.dir.filePath(QStringLiteral("cert.pdf"));
    s.window->choosePdf = [&](QWidget*, const QString&) { return pdf; };
    QTest::mouseClick(s.window->PdfButton, Qt::LeftButton);
    ASSERT_TRUE(QFile::exists(pdf)) << s.window->MessageLabel->text().toStdString();
    const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
    if (pdffonts.isEmpty()) {
        GTEST_SKIP() << "poppler-utils is not installed (tools/install-deps --tests installs it)";
    }
    QProcess fonts;
    fonts.start(pdffonts, {pdf});
    ASSERT_TRUE(fonts.waitForFinished(30000));
    const QString listed = QString::fromUtf8(fonts.readAllStandardOutput());
    // The Chinese face is there and embedded ("emb" yes).
    EXPECT_TRUE(listed.contains(QRegularExpression(QStringLiteral("UMing\\S*\\s.* yes +(yes|no)"))))
        << listed.toStdString();
    QProcess render;
    render.start(QStandardPaths::findExecutable(QStringLiteral("pdftoppm")),
                 {"-png", "-r", "60", "-singlefile", pdf, s.dir.filePath(QStringLiteral("cert"))});
    ASSERT_TRUE(render.waitForFinished(60000));
    const QImage page(s.dir.filePath(QStringLiteral("cert.png")));
    ASSERT_FALSE(page.isNull());
    int green = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            green += c.green() > 90 && c.red() < 60 && c.blue() < 60;
        }
    }
    EXPECT_GT(green, 50);  // the result line, drawn in green
}

}  // namespace

TEST(ProductionFrm, RunsGoToTheSharedRecordsOrWaitInTheQueueShownWhileTheServerIsAway) {
    PostgresRig rig;
    if (!rig.unavailable().isEmpty()) {
        GTEST_SKIP() << "no PostgreSQL server: " << rig.unavailable().toStdString();
    }
    Station s;
    s.window->sharedRecords = rig.address();
    auto runUnit = [&](const QString& serial) {
        QSignalSpy queue(s.window.get(), &TProductionFrm::QueueShown);
        s.Scan(serial);
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.window->ConfirmButton->isVisible(); }, 20000));
        QTest::mouseClick(s.window->ConfirmButton, Qt::LeftButton);
        EXPECT_TRUE(queue.wait(30000));
        return s.window->QueueLabel->text();
    };
    EXPECT_EQ(runUnit(QStringLiteral("SN-S1")), QStringLiteral("共享记录: 已全部上传"));

    TLineStatsFrm& stats = *s.window->Stats();
    ASSERT_TRUE(stats.SourceList->isEnabled());
    stats.SourceList->setCurrentIndex(1);
    QSignalSpy loaded(&stats, &TLineStatsFrm::Loaded);
    stats.Reload();
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_EQ(stats.MeasurementList->count(), 2) << stats.SummaryLabel->text().toStdString();

    ASSERT_TRUE(rig.Kill());
    EXPECT_TRUE(runUnit(QStringLiteral("SN-S2"))
                    .startsWith(QStringLiteral("共享记录不可用, 1 次测试在队列中等待")));
    ASSERT_TRUE(rig.Start());
    EXPECT_EQ(runUnit(QStringLiteral("SN-S3")), QStringLiteral("共享记录: 已全部上传"));
    EXPECT_EQ(rig.Psql(QStringLiteral("SELECT count(*) FROM runs")).trimmed(), QStringLiteral("3"));
}
