#pragma once

#include <QString>

#include <vector>

#include "TFirmwareFrm.h"

// Records the firmware dialog's message boxes instead of waiting for a click.
class RecordingMessageBox final : public FirmwareMessageBox {
public:
    struct Shown {
        QWidget* owner;
        QString caption;
        QString text;
        QString further;
    };
    std::vector<Shown> shown;

    void Information(QWidget* owner, const QString& caption, const QString& text) override {
        shown.push_back({owner, caption, text, {}});
    }
    void InformationWithFurtherText(QWidget* owner, const QString& caption, const QString& text,
                                    const QString& further) override {
        shown.push_back({owner, caption, text, further});
    }
};
