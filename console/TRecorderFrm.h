#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

#include "CsvWriter.h"
#include "RegisterMap.h"

class Prompter;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct RecordRow;

// The live channels of the register image as the live grid shows them, for a recording.
RecordRow CurrentRecordRow(const RegisterImageWords& image, std::uint32_t goodPolls);

// The recorder: while it records, every good poll becomes one row of a CSV file, named by the
// recording's start time, in a folder the operator chooses (kept in the settings file). The
// window only starts, stops and shows the recording; it records whether shown or not.
class TRecorderFrm : public QDialog {
    Q_OBJECT

public:
    // Rows are taken from image, the main window's copy of the registers.
    TRecorderFrm(Prompter& prompter, QString settingsPath, const RegisterImageWords& image,
                 QWidget* parent = nullptr);
    ~TRecorderFrm() override;

    // One good poll: appends its row while recording.
    void TakeGoodReply(std::uint32_t goodPolls);

    bool StartRecording();
    void StopRecording();
    bool Recording() const { return writer_.Running(); }
    const QString& FilePath() const { return writer_.Path(); }

    QString Folder() const;
    void SetFolder(const QString& folder);
    // A folder under the user's documents folder.
    static QString DefaultFolder();

    // How the folder is chosen when the operator presses the browse button.
    std::function<QString(QWidget* parent, const QString& current)> chooseFolder;

    QLineEdit* FolderEdit;
    QPushButton* BrowseButton;
    QCheckBox* RawCheck;
    QPushButton* StartButton;
    QLabel* StatusLabel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void StartButtonClick();
    void BrowseButtonClick();
    void WriterFailed(const QString& message);
    void ShowStatus();
    void SaveSettings() const;
    QString UnusedFilePath(const QDateTime& start) const;

    Prompter& prompter_;
    QString settingsPath_;
    const RegisterImageWords& image_;
    CsvWriter writer_;
    bool raw_ = false;
    int headerMode_ = 0;
};
