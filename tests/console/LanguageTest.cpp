#include <gtest/gtest.h>

#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QXmlStreamReader>

#include "BannerGroupBox.h"
#include "ConsoleHarness.h"
#include "DrawGrid.h"
#include "Language.h"
#include "LineDiagnostics.h"
#include "RegisterGrid.h"
#include "RegisterMap.h"
#include "SettingsStore.h"
#include "StatusLineEntry.h"
#include "TFirmwareFrm.h"
#include "TPortSetupFrm.h"
#include "TRecorderFrm.h"
#include "TTrafficMonitor.h"
#include "TTrendFrm.h"

namespace {

bool HasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() >= 0x3000 && c.unicode() < 0xA000) || c.unicode() >= 0xFF00;
    });
}

// The widest line of a text as it is drawn: plain, or rich text laid out.
int Advance(const QFont& font, QString text) {
    if (Qt::mightBeRichText(text)) {
        QTextDocument document;
        document.setDefaultFont(font);
        document.setDocumentMargin(0);
        document.setHtml(text);
        return static_cast<int>(std::ceil(document.idealWidth()));
    }
    int widest = 0;
    for (const QString& line : text.remove(QLatin1Char('&')).split(QLatin1Char('\n'))) {
        widest = std::max(widest, QFontMetrics(font).horizontalAdvance(line));
    }
    return widest;
}

// One text in its place: the width it needs there, in the control's font, and the width the
// control has.
struct Placed {
    QString where;
    QString text;
    int need;
    int room;
};

// The width a control needs for a text: its own size hint with that text, or for grid cells,
// group captions and table headers the text itself.
Placed Measure(QWidget& w, const QString& text, int gridCol = 0) {
    const QString name = w.objectName();
    if (auto* grid = qobject_cast<DrawGrid*>(&w)) {
        return {name, text, Advance(w.font(), text) + 2, grid->columnWidth(gridCol)};
    }
    if (auto* box = qobject_cast<BannerGroupBox*>(&w)) {
        return {name, text, Advance(w.font(), text), box->CaptionRect().width()};
    }
    if (auto* table = qobject_cast<QTableView*>(&w)) {
        QHeaderView* header = table->horizontalHeader();
        return {name, text, Advance(header->font(), text) + 8, header->sectionSize(gridCol)};
    }
    if (auto* label = qobject_cast<QLabel*>(&w)) {
        return {name, text, Advance(w.font(), text), label->contentsRect().width()};
    }
    auto* button = qobject_cast<QAbstractButton*>(&w);
    if (button == nullptr) {
        return {name, text, 0, 0};
    }
    const QString own = button->text();
    button->setText(text);
    const Placed placed{name, text, button->sizeHint().width(), button->width()};
    button->setText(own);
    return placed;
}

// Every text the window's controls show, with the room each has.
void AddTexts(QWidget& window, std::vector<Placed>& out) {
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->window() != &window || !w->isVisible()) {
            continue;
        }
        if (auto* box = qobject_cast<BannerGroupBox*>(w)) {
            out.push_back(Measure(*w, box->title()));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            out.push_back(Measure(*w, label->text()));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            out.push_back(Measure(*w, button->text()));
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(list);
            const int room = list->style()
                                 ->subControlRect(QStyle::CC_ComboBox, &option,
                                                  QStyle::SC_ComboBoxEditField, list)
                                 .width();
            for (int i = 0; i < list->count(); ++i) {
                out.push_back({w->objectName(), list->itemText(i),
                               Advance(list->font(), list->itemText(i)), room});
            }
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            out.push_back({w->objectName(), edit->placeholderText(),
                           Advance(edit->font(), edit->placeholderText()) + 8, edit->width()});
        } else if (auto* grid = qobject_cast<DrawGrid*>(w)) {
            for (int col = 0; col < grid->ColCount(); ++col) {
                for (int row = 0; row < grid->RowCount(); ++row) {
                    if (DrawGrid::IsFixed(col, row)) {
                        out.push_back(Measure(*w, grid->Cell(col, row), col));
                    }
                }
            }
        } else if (auto* table = qobject_cast<QTableView*>(w)) {
            for (int col = 0; col < table->model()->columnCount(); ++col) {
                out.push_back(
                    Measure(*w, table->model()->headerData(col, Qt::Horizontal).toString(), col));
            }
        }
        if (!w->toolTip().isEmpty()) {
            out.push_back({w->objectName() + QStringLiteral(" hint"), w->toolTip(), 0, 0});
        }
    }
}

// Texts a control takes later on (other states, widest numbers), by the control's name.
struct Later {
    const char* control;
    const char* context;
    const char* source;
    const char* arg;
};
const Later kLater[] = {
    {"SpeedButton1", "TMainForm", "断开连接", nullptr},
    {"GroupBox1", "TMainForm", "通信连接 (串口已拔出)", nullptr},
    {"GroupBox1", "TMainForm", "通信连接 (网络已断开)", nullptr},
    {"GroupBox1", "TMainForm", "通信连接 (固件:%1)", "655.35"},
    {"GroupBox2", "TMainForm", "模块快键标定 ( 冷端温度: %1℃ )", "-327.68"},
    {"StringGrid1", "LiveGrid", "对应重量(KG)", nullptr},
    {"StringGrid1", "LiveGrid", "采集电阻(Ω)", nullptr},
    {"Label18", "ConfigBlock", "温度补偿", ":"},
    {"LineEntry", "StatusLineEntry", "1分钟内错误 %1", "9999"},
    {"LineEntry", "StatusLineEntry", "无应答 %1 秒", "9999"},
    {"LineEntry", "StatusLineEntry", "未连接", nullptr},
    {"LineEntry", "StatusLineEntry", "轮询暂停", nullptr},
    {"Pause", "TTrafficMonitor", "继续", nullptr},
    {"StartButton", "TRecorderFrm", "停止记录", nullptr},
    {"PauseButton", "TTrendFrm", "继续", nullptr},
    {"Panel1", "BootloaderText", "正在查找设备。。。", nullptr},
    {"Panel1", "BootloaderText", "无法和设备通讯，请重新尝试", nullptr},
    {"Panel1", "BootloaderText", "连机失败！请检查通信线。", nullptr},
    {"Panel1", "BootloaderText", "模块程序不完整！请重新更新固件。", nullptr},
    {"Panel1", "BootloaderText", "上载完成！", "模块已复位，未运行请重新上电。"},
};

QString LaterText(const Later& later) {
    const QString text = QCoreApplication::translate(later.context, later.source);
    if (later.arg == nullptr) {
        return text;
    }
    if (text.contains(QLatin1String("%1"))) {
        return text.arg(QLatin1String(later.arg));
    }
    // A second text of the same context that follows the first.
    return text + QCoreApplication::translate(later.context, later.arg);
}

void AddLater(QWidget& window, std::vector<Placed>& out) {
    for (const Later& later : kLater) {
        auto* control = window.findChild<QWidget*>(QLatin1String(later.control));
        if (control == nullptr) {
            continue;
        }
        QString text = LaterText(later);
        if (auto* entry = qobject_cast<StatusLineEntry*>(control)) {
            text = entry->text().replace(StatusLineEntry::StateText({}), text);
        }
        Placed placed = Measure(*control, text);
        if (qobject_cast<QLabel*>(control) && std::string(later.context) == "BootloaderText") {
            // The firmware dialog's status line grows with its text up to the dialog's edge.
            placed.room = window.width() - control->x();
        }
        out.push_back(placed);
    }
}

// A label that grows with its text must not run into the control beside it.
void ExpectLabelsClear(QWidget& window) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->window() != &window) {
            continue;
        }
        const QRect drawn(label->pos(),
                          QSize(Advance(label->font(), label->text()), label->height()));
        for (QObject* other : label->parentWidget()->children()) {
            auto* sibling = qobject_cast<QWidget*>(other);
            if (sibling == nullptr || sibling == label || !sibling->isVisible() ||
                sibling->isWindow() || sibling->geometry() == label->geometry()) {
                continue;
            }
            EXPECT_FALSE(drawn.intersects(sibling->geometry()))
                << label->objectName().toStdString() << " runs into "
                << sibling->objectName().toStdString();
        }
    }
}

// The window's texts on every page of its tabs.
std::vector<Placed> TextsOnEveryPage(QWidget& window) {
    std::vector<Placed> texts;
    QList<QTabWidget*> tabs = window.findChildren<QTabWidget*>();
    tabs.removeIf([&](const QTabWidget* tab) { return tab->window() != &window; });
    const int pages = tabs.isEmpty() ? 1 : tabs.front()->count();
    for (int page = 0; page < pages; ++page) {
        if (!tabs.isEmpty()) {
            tabs.front()->setCurrentIndex(page);
        }
        QCoreApplication::processEvents();
        AddTexts(window, texts);
        ExpectLabelsClear(window);
    }
    AddLater(window, texts);
    // The register grid's caption names the selected register.
    if (auto* monitor = window.findChild<BannerGroupBox*>(QStringLiteral("GroupBox3"))) {
        for (int reg = 0; reg < kRegisterNameCount; ++reg) {
            texts.push_back(Measure(*monitor, RegisterGrid::SelectionCaption(reg)));
        }
    }
    return texts;
}

class EnglishWindows : public ::testing::Test {
protected:
    LanguageInstall english{UiLanguage::English};
    ConsoleHarness console;
};

TEST_F(EnglishWindows, EveryTextIsEnglishAndFitsItsControl) {
    TFirmwareFrm firmware;
    TRecorderFrm recorder(console.prompter, console.settingsPath, console.form->RegisterImage);
    TTrendFrm trend(console.form->RegisterImage);
    TPortSetupFrm portSetup(console.form->Ports());
    QWidget* windows[] = {console.form.get(), console.monitor.get(),
                          &firmware,          &console.form->Line().Monitor(),
                          &recorder,          &trend,
                          &portSetup};
    for (QWidget* window : windows) {
        window->show();
        std::vector<Placed> texts = TextsOnEveryPage(*window);
        texts.push_back({QStringLiteral("title"), window->windowTitle(), 0, 0});
        for (const Placed& placed : texts) {
            SCOPED_TRACE(window->objectName().toStdString() + " " + placed.where.toStdString() +
                         ": " + placed.text.toStdString());
            EXPECT_FALSE(HasChinese(placed.text));
            EXPECT_LE(placed.need, placed.room);
        }
        window->hide();
    }
}

// Every message of the committed catalogue is translated, with the same place markers.
TEST(EnglishCatalogue, EverySourceTextHasAFinishedTranslation) {
    QFile file(QStringLiteral(VR7C_TS_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    static const QRegularExpression marker(QStringLiteral("%\\d"));
    QString source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == QLatin1String("translation")) {
            const QString type = xml.attributes().value(QStringLiteral("type")).toString();
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            SCOPED_TRACE(source.toStdString());
            EXPECT_TRUE(type.isEmpty()) << type.toStdString();
            EXPECT_FALSE(text.isEmpty() || HasChinese(text));
            QStringList want, got;
            for (const auto& m : marker.globalMatch(source))
                want << m.captured();
            for (const auto& m : marker.globalMatch(text))
                got << m.captured();
            want.sort();
            got.sort();
            EXPECT_EQ(want, got);
            ++messages;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 300);
}

TEST(LanguageChoice, SettingWinsThenTheFirstLocaleVariableSet) {
    struct Case {
        const char* setting;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        UiLanguage want;
    };
    const Case cases[] = {
        {"", "", "", "", UiLanguage::Chinese},
        {"", "", "", "zh_CN.UTF-8", UiLanguage::Chinese},
        {"", "", "", "en_US.UTF-8", UiLanguage::English},
        {"", "", "en_GB.UTF-8", "zh_CN.UTF-8", UiLanguage::English},
        {"", "C", "", "en_US.UTF-8", UiLanguage::Chinese},
        {"", "en_US.UTF-8", "de_DE.UTF-8", "", UiLanguage::English},
        {"", "", "", "C.UTF-8", UiLanguage::Chinese},
        {"zh", "", "", "en_US.UTF-8", UiLanguage::Chinese},
        {"en", "zh_CN.UTF-8", "", "zh_CN.UTF-8", UiLanguage::English},
        {"fr", "", "", "en_US.UTF-8", UiLanguage::English},
        {"fr", "", "", "", UiLanguage::Chinese},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseLanguage(QLatin1String(c.setting), QLatin1String(c.lcAll),
                                 QLatin1String(c.lcMessages), QLatin1String(c.lang)),
                  c.want)
            << c.setting << " | " << c.lcAll << " | " << c.lcMessages << " | " << c.lang;
    }
}

TEST(LanguageChoice, TheSettingIsReadFromTheConsoleEntry) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.ini"));
    EXPECT_EQ(SettingsStore(path).ReadLanguage(), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Software%5CVR7C-20NP]\nPort=2\nLanguage=en\n");
    file.close();
    EXPECT_EQ(SettingsStore(path).ReadLanguage(), QStringLiteral("en"));
}

}  // namespace
