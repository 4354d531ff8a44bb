#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>

class Prompter;
class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// What the register write dialog needs of the main window.
class RegisterWriteHost {
public:
    virtual ~RegisterWriteHost() = default;
    // True while the connect button is down.
    virtual bool ConnectionStarted() = 0;
    // Stops the polling timer, pauses 50 ms, writes the register and starts the polling
    // timer again whatever the outcome; true when the module confirmed the write.
    virtual bool WriteWithPollingPaused(std::int32_t reg, std::uint16_t value) = 0;
};

// The text of a field read as a whole decimal number; nothing when it is not one.
std::optional<std::int32_t> ParseInteger(const QString& text);
// Puts a text of the program into a field in full. The five-character limit of a field holds
// for the operator's edits only: QLineEdit::setText cuts to the limit, and a signed register's
// "-32768" would lose its last digit and be written back as another value.
void SetFieldText(QLineEdit& field, const QString& text);
// The key filter of both fields: backspace, "-" and the digits pass, as do keys that type
// nothing (cursor keys, Delete, Tab); every other typed character is discarded.
bool KeyPassesFilter(int key, const QString& text);

// The register write dialog: the operator writes one value to one module register.
class TMonitorDf : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 265;
    static constexpr int kClientHeight = 130;

    TMonitorDf(RegisterWriteHost& host, Prompter& prompter, QWidget* parent = nullptr);

    void FormCreate();
    void FormShow();
    // Key filter of both fields; true when the key may reach the field.
    bool Edit1KeyPress(const QKeyEvent& event);
    // Enter and Esc in the value field; true when the key was handled here.
    bool Edit1KeyDown(const QKeyEvent& event);
    void BitBtn1Click();
    void BitBtn3Click();

    QGroupBox* GroupBox1;
    QCheckBox* CheckBox1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QLabel* Label3;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn3;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Keys that reach the dialog from its buttons and the check box.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowConversionError(const QString& text);

    RegisterWriteHost& host_;
    Prompter& prompter_;
};
