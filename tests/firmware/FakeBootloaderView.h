#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

#include "BootloaderSession.h"

// Stands in for the dialog: records what the session shows.
class FakeBootloaderView final : public BootloaderView {
public:
    int portIndex = 0;
    QStringList statusTexts;
    int progress = 0;
    std::vector<int> progressHistory;
    std::vector<std::pair<QString, QString>> messages;  // caption, text

    int SelectedPortIndex() const override { return portIndex; }
    void SetStatusText(const QString& text) override { statusTexts.push_back(text); }
    void SetProgress(int position) override {
        progress = position;
        progressHistory.push_back(position);
    }
    int Progress() const override { return progress; }
    void ShowMessage(const QString& caption, const QString& text) override {
        messages.emplace_back(caption, text);
    }

    QString status() const { return statusTexts.isEmpty() ? QString() : statusTexts.back(); }
};
