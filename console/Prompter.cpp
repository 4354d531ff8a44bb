#include "Prompter.h"

#include <QDialog>
#include <QMessageBox>

#include "AppStyle.h"

namespace {

QMessageBox::Icon ToBoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

class WidgetPrompter final : public Prompter {
public:
    void ShowMessage(QWidget* owner, MessageIcon icon, const QString& caption,
                     const QString& text) override {
        ShowMessageWithFurtherText(owner, icon, caption, text, {});
    }

    void ShowMessageWithFurtherText(QWidget* owner, MessageIcon icon, const QString& caption,
                                    const QString& text, const QString& furtherText) override {
        const std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, icon, caption, text);
        box->setInformativeText(furtherText);
        box->exec();
    }

    void ShowModal(QDialog& dialog) override { dialog.exec(); }
};

}  // namespace

Prompter& DefaultPrompter() {
    static WidgetPrompter prompter;
    return prompter;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, MessageIcon icon,
                                            const QString& caption, const QString& text) {
    // Lines of a message are joined by a carriage return; the box breaks lines at "\n".
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto box =
        std::make_unique<QMessageBox>(ToBoxIcon(icon), caption, shown, QMessageBox::Ok, owner);
    // A window does not hand its font to the windows it owns; without this the box would be
    // drawn in the smaller default face.
    box->setFont(WindowFont());
    // The settings-store warning comes before the main window can be used: keep it on top.
    if (icon == MessageIcon::Exclamation) {
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    return box;
}
