#pragma once

#include <QString>

#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

enum class MessageIcon { Information, Exclamation, Error };

// Message boxes and modal dialogs go through this interface, so that tests can record them
// instead of waiting for a click.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A modal message box with one OK button, owned by owner.
    virtual void ShowMessage(QWidget* owner, MessageIcon icon, const QString& caption,
                             const QString& text) = 0;
    // The same with a further text under the message, e.g. the cause of a failure and its
    // remedy. Where a prompter has no place for it, only the message is shown.
    virtual void ShowMessageWithFurtherText(QWidget* owner, MessageIcon icon,
                                            const QString& caption, const QString& text,
                                            const QString& furtherText) {
        static_cast<void>(furtherText);
        ShowMessage(owner, icon, caption, text);
    }
    // Shows the dialog modally and returns when it has been closed.
    virtual void ShowModal(QDialog& dialog) = 0;
};

// The real message boxes and modal loops.
Prompter& DefaultPrompter();
// The message box the real prompter shows: one OK button, in the windows' own font.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, MessageIcon icon,
                                            const QString& caption, const QString& text);
