#pragma once
// A QR code of a text, drawn as dark modules on a light square with its quiet zone, so a phone's
// camera can read it from the settings sheet. Encoded with libqrencode.

#include <vector>

#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace carvo::ui {

// The modules of text's QR code, row by row (true: dark), and its width; empty when the text
// cannot be encoded (empty, or too long).
struct QRModules {
    int width = 0;
    std::vector<bool> dark;
};
QRModules encodeQR(const QString& text);

class QRCodeItem : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged FINAL)

public:
    // Light modules around the code, as the standard asks.
    static constexpr int quietZone = 4;

    explicit QRCodeItem(QQuickItem* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    void paint(QPainter* painter) override;

signals:
    void textChanged();

private:
    QString m_text;
    QRModules m_modules;
};

} // namespace carvo::ui
