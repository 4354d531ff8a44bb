#pragma once

#include <QKeySequence>
#include <QLabel>

#include <functional>
#include <vector>

#include "LineRecorder.h"

class QMenu;

// The line's state in the status line, in a word and a colour ("应答正常", "无应答 5 秒",
// "1分钟内错误 3"). A click offers the windows registered with AddWindow; each also has its
// keyboard shortcut on the main window.
class StatusLineEntry : public QLabel {
    Q_OBJECT

public:
    // Where the entry sits: in the free part of the status line, between the clock and the
    // mail link.
    static constexpr int kLeft = 560;
    static constexpr int kTop = 446;
    static constexpr int kWidth = 230;
    static constexpr int kHeight = 20;

    // shortcutOwner: the window whose shortcuts open the registered windows.
    explicit StatusLineEntry(QWidget* shortcutOwner);

    // Offers one more window in the entry's menu, also opened by the shortcut.
    void AddWindow(const QString& text, const QKeySequence& shortcut, std::function<void()> open);
    void ShowStatus(const LineStatus& status);
    QMenu& Menu() { return *menu_; }

    // The state in a word and its colour.
    static QString StateText(const LineStatus& status);
    static QColor StateColour(LineState state);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* shortcutOwner_;
    QMenu* menu_;
    LineStatus shown_;
    bool everShown_ = false;
};
