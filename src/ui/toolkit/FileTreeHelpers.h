#pragma once

// Path helpers and guards shared by the folder tree's source files; not part
// of the tree's interface.

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QWidget>

namespace zorvane::filetree {

struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

class RedrawOff {
public:
    RedrawOff(QWidget* widget, bool active) : m_widget(widget), m_active(active) {
        if (m_active && m_widget->updatesEnabled()) {
            m_widget->setUpdatesEnabled(false);
        } else {
            m_active = false;
        }
    }
    ~RedrawOff() {
        if (m_active) {
            m_widget->setUpdatesEnabled(true);
        }
    }
    RedrawOff(const RedrawOff&) = delete;
    RedrawOff& operator=(const RedrawOff&) = delete;

private:
    QWidget* m_widget;
    bool m_active;
};

inline QString JoinPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

inline QByteArray JoinNative(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// A path without doubled or trailing separators ("/" stays "/").
inline QString Normalised(QString path) {
    using namespace Qt::Literals::StringLiterals;
    while (path.contains(u"//"_s)) {
        path.replace(u"//"_s, u"/"_s);
    }
    if (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

} // namespace zorvane::filetree
