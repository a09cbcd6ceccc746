#include "ui/qr_code_item.h"

#include <algorithm>

#include <qrencode.h>

#include <QPainter>

namespace carvo::ui {

QRModules encodeQR(const QString& text) {
    if (text.isEmpty())
        return {};
    const QByteArray bytes = text.toUtf8();
    QRcode* code = QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M);
    if (!code)
        return {};
    QRModules modules;
    modules.width = code->width;
    modules.dark.resize(static_cast<std::size_t>(code->width) *
                        static_cast<std::size_t>(code->width));
    for (std::size_t i = 0; i < modules.dark.size(); ++i)
        modules.dark[i] = (code->data[i] & 1U) != 0; // the low bit is the module's colour
    QRcode_free(code);
    return modules;
}

QRCodeItem::QRCodeItem(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(false);
}

void QRCodeItem::setText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    m_modules = encodeQR(text);
    emit textChanged();
    update();
}

void QRCodeItem::paint(QPainter* painter) {
    if (m_modules.width == 0)
        return;
    const int modulesAcross = m_modules.width + 2 * quietZone;
    const qreal side = std::min(width(), height());
    // Whole pixels per module keep the edges sharp; at least one.
    const int scale = std::max(1, static_cast<int>(side / modulesAcross));
    const int drawn = scale * modulesAcross;
    const QPointF origin((width() - drawn) / 2.0, (height() - drawn) / 2.0);
    painter->fillRect(QRectF(origin, QSizeF(drawn, drawn)), Qt::white);
    for (int y = 0; y < m_modules.width; ++y) {
        for (int x = 0; x < m_modules.width; ++x) {
            if (!m_modules.dark[static_cast<std::size_t>(y * m_modules.width + x)])
                continue;
            painter->fillRect(QRectF(origin.x() + (x + quietZone) * scale,
                                     origin.y() + (y + quietZone) * scale, scale, scale),
                              Qt::black);
        }
    }
}

} // namespace carvo::ui
