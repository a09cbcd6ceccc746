#pragma once
// Helpers for driving the views offscreen: finding items by objectName, clicking them, and
// waiting (bounded) for an effect of the event loop.

#include <functional>

#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include "base/settings.h"

namespace carvo::ui::testing {

// Searches the object tree, then the visual tree (delegates of a Repeater have no QObject
// parent).
inline QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (!item)
        return nullptr;
    if (item->objectName() == name)
        return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

template <typename T = QQuickItem> T* find(QObject* root, const char* objectName) {
    if (!root)
        return nullptr;
    const QString name = QString::fromLatin1(objectName);
    if (T* found = root->findChild<T*>(name))
        return found;
    if (auto* window = qobject_cast<QQuickWindow*>(root))
        return qobject_cast<T*>(findItem(window->contentItem(), name));
    return nullptr;
}

inline void click(QQuickItem* item) {
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(item->window(), Qt::LeftButton, {}, centre.toPoint());
}

// Runs the event loop until done() holds, for at most two seconds.
inline bool waitFor(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 2000);
}

// The settings of one test, kept in a folder of its own.
class SettingsFolder {
public:
    QString path() const { return m_dir.path(); }
    Settings& settings() { return m_settings; }

private:
    QTemporaryDir m_dir;
    Settings m_settings{m_dir.path()};
};

} // namespace carvo::ui::testing
