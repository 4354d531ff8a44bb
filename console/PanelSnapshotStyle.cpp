#include "PanelSnapshotStyle.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleOption>
#include <QWidget>

PanelSnapshotStyle::PanelSnapshotStyle(QWidget& field) : field_(field) {}

void PanelSnapshotStyle::Install(QWidget& field) {
    auto* style = new PanelSnapshotStyle(field);
    style->setParent(&field);
    field.setStyle(style);
    field.installEventFilter(style);
    if (QWidget* behind = field.parentWidget()) {
        behind->installEventFilter(style);
    }
}

bool PanelSnapshotStyle::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Enter:
        case QEvent::Leave:
        case QEvent::EnabledChange:
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::ReadOnlyChange:
            Drop();
            break;
        default:
            break;
    }
    return QProxyStyle::eventFilter(watched, event);
}

void PanelSnapshotStyle::Drop() {
    snapshot_ = QImage();
    field_.setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PanelSnapshotStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                       QPainter* painter, const QWidget* widget) const {
    QWidget* behind = widget == &field_ ? field_.parentWidget() : nullptr;
    if (element != PE_PanelLineEdit || behind == nullptr || option->rect != field_.rect()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const Key key{field_.geometry(), option->state, option->palette.cacheKey(), behind->size(),
                  behind->palette().cacheKey()};
    if (!snapshot_.isNull() && key == key_) {
        painter->drawImage(option->rect.topLeft(), snapshot_);
        return;
    }
    // The panel is taken only from a paint of the whole field over what the box behind has
    // just painted, in the window's own image.
    QPaintEngine* engine = painter->paintEngine();
    QPaintDevice* device = engine->paintDevice();
    const QTransform& transform = painter->deviceTransform();
    const QRect onDevice = transform.mapRect(option->rect);
    const bool whole = !field_.testAttribute(Qt::WA_OpaquePaintEvent) &&
                       device->devType() == QInternal::Image && !painter->hasClipping() &&
                       transform.type() <= QTransform::TxTranslate &&
                       engine->systemClip().contains(onDevice) &&
                       static_cast<QImage*>(device)->rect().contains(onDevice);
    if (whole) {
        QImage snapshot = static_cast<QImage*>(device)->copy(onDevice);
        QPainter panel(&snapshot);
        panel.setRenderHints(painter->renderHints());
        QProxyStyle::drawPrimitive(element, option, &panel, widget);
        panel.end();
        key_ = key;
        snapshot_ = snapshot;
        field_.setAttribute(Qt::WA_OpaquePaintEvent);
    } else if (field_.testAttribute(Qt::WA_OpaquePaintEvent)) {
        // Painted over by the box again, the panel is taken on the next paint.
        field_.setAttribute(Qt::WA_OpaquePaintEvent, false);
        field_.update();
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
