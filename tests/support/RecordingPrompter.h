#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "Prompter.h"

// A message box or modal dialog as the windows asked for it.
struct PromptRecord {
    QWidget* owner = nullptr;
    MessageIcon icon = MessageIcon::Information;
    QString caption;
    QString text;
    QString furtherText;
};

// Records message boxes and modal shows instead of waiting for a click.
class RecordingPrompter final : public Prompter {
public:
    std::vector<PromptRecord> messages;
    std::vector<QDialog*> modals;
    // Runs while a dialog is "shown", e.g. to press its buttons.
    std::function<void(QDialog&)> onModal;
    // Runs while a message is "shown".
    std::function<void(const PromptRecord&)> onMessage;

    void ShowMessage(QWidget* owner, MessageIcon icon, const QString& caption,
                     const QString& text) override {
        ShowMessageWithFurtherText(owner, icon, caption, text, {});
    }
    void ShowMessageWithFurtherText(QWidget* owner, MessageIcon icon, const QString& caption,
                                    const QString& text, const QString& furtherText) override {
        messages.push_back({owner, icon, caption, text, furtherText});
        if (onMessage) {
            onMessage(messages.back());
        }
    }
    void ShowModal(QDialog& dialog) override {
        modals.push_back(&dialog);
        if (onModal) {
            onModal(dialog);
        }
    }
    QString LastText() const { return messages.empty() ? QString() : messages.back().text; }
    std::vector<QString> Texts() const {
        std::vector<QString> texts;
        for (const PromptRecord& message : messages) {
            texts.push_back(message.text);
        }
        return texts;
    }
};
