#include "StatusLineEntry.h"

#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>

StatusLineEntry::StatusLineEntry(QWidget* shortcutOwner)
    : QLabel(shortcutOwner), shortcutOwner_(shortcutOwner), menu_(new QMenu(this)) {
    setObjectName(QStringLiteral("LineEntry"));
    setGeometry(kLeft, kTop, kWidth, kHeight);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::RichText);
    menu_->setObjectName(QStringLiteral("LineMenu"));
    ShowStatus({});
}

void StatusLineEntry::AddWindow(const QString& text, const QKeySequence& shortcut,
                                std::function<void()> open) {
    QAction* action = menu_->addAction(text);
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, open);
    // The key works from any of the console's windows, the monitor and the trend among them.
    auto* key = new QShortcut(shortcut, shortcutOwner_);
    key->setContext(Qt::ApplicationShortcut);
    connect(key, &QShortcut::activated, this, std::move(open));
    setToolTip(toolTip().isEmpty()
                   ? text + QLatin1Char(' ') + shortcut.toString()
                   : toolTip() + QLatin1Char('\n') + text + QLatin1Char(' ') + shortcut.toString());
}

QString StatusLineEntry::StateText(const LineStatus& status) {
    switch (status.state) {
        case LineState::Closed:
            return tr("未连接");
        case LineState::Replying:
            return tr("应答正常");
        case LineState::Errors:
            return tr("1分钟内错误 %1").arg(status.recentErrors);
        case LineState::Silent:
            return tr("无应答 %1 秒").arg(status.silentSeconds);
        case LineState::Held:
            return tr("轮询暂停");
    }
    return {};
}

QColor StatusLineEntry::StateColour(LineState state) {
    switch (state) {
        case LineState::Closed:
        case LineState::Held:
            return QColor(128, 128, 128);
        case LineState::Replying:
            return QColor(0, 150, 0);
        case LineState::Errors:
            return QColor(210, 120, 0);
        case LineState::Silent:
            return QColor(220, 0, 0);
    }
    return {};
}

void StatusLineEntry::ShowStatus(const LineStatus& status) {
    if (everShown_ && status == shown_) {
        return;
    }
    everShown_ = true;
    shown_ = status;
    setText(tr("<a style=\"color:#0000ff\">线路</a>：<span style=\"color:%1\">%2</span> ▾")
                .arg(StateColour(status.state).name(), StateText(status)));
}

void StatusLineEntry::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    menu_->popup(mapToGlobal(QPoint(0, 0)) - QPoint(0, menu_->sizeHint().height()));
}
