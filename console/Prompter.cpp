#include "Prompter.h"

#include <QDialog>
#include <QMessageBox>

namespace {

class WidgetPrompter final : public Prompter {
public:
    void ShowMessage(QWidget* owner, MessageIcon icon, const QString& caption,
                     const QString& text) override {
        ShowMessageWithFurtherText(owner, icon, caption, text, {});
    }

    void ShowMessageWithFurtherText(QWidget* owner, MessageIcon icon, const QString& caption,
                                    const QString& text, const QString& furtherText) override {
        // Lines of a message are joined by a carriage return; the box breaks lines at "\n".
        QString shown = text;
        shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QMessageBox box(ToBoxIcon(icon), caption, shown, QMessageBox::Ok, owner);
        box.setInformativeText(furtherText);
        // The settings-store warning comes before the main window can be used: keep it on top.
        if (icon == MessageIcon::Exclamation) {
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
        }
        box.exec();
    }

    void ShowModal(QDialog& dialog) override { dialog.exec(); }

private:
    static QMessageBox::Icon ToBoxIcon(MessageIcon icon) {
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
};

}  // namespace

Prompter& DefaultPrompter() {
    static WidgetPrompter prompter;
    return prompter;
}
