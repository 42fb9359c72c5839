#include "WindowPlacementStore.h"

#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QtEndian>

using namespace Qt::Literals::StringLiterals;

namespace zorvane {

namespace {

QString Key(const QString& section, const QString& entry) {
    return section.isEmpty() ? entry : section + u'/' + entry;
}

void PutInt(char* out, qint32 value) {
    qToLittleEndian(value, out);
}

qint32 GetInt(const char* in) {
    return qFromLittleEndian<qint32>(in);
}

} // namespace

ScopedSettings::ScopedSettings(QSettings* given) : settings(given) {
    if (!settings) {
        own = std::make_unique<QSettings>(u"Quenlor Corporation"_s, u"Zorvane"_s);
        settings = own.get();
    }
}

ScopedSettings::~ScopedSettings() = default;

bool ScopedSettings::Flush() {
    settings->sync();
    return settings->status() == QSettings::NoError;
}

QRect WindowPlacement::NormalRect() const {
    return QRect(normalLeft, normalTop, normalRight - normalLeft, normalBottom - normalTop);
}

void WindowPlacement::SetNormalRect(const QRect& rect) {
    normalLeft = rect.x();
    normalTop = rect.y();
    normalRight = rect.x() + rect.width();
    normalBottom = rect.y() + rect.height();
}

QByteArray WindowPlacement::ToBytes() const {
    QByteArray bytes(kSize, '\0');
    const qint32 fields[] = {qint32(length),  qint32(flags),   qint32(showCmd), minPosition.x(),
                             minPosition.y(), maxPosition.x(), maxPosition.y(), normalLeft,
                             normalTop,       normalRight,     normalBottom};
    static_assert(sizeof(fields) == kSize);
    char* out = bytes.data();
    for (const qint32 field : fields) {
        PutInt(out, field);
        out += 4;
    }
    return bytes;
}

std::optional<WindowPlacement> WindowPlacement::FromBytes(const QByteArray& bytes) {
    if (bytes.size() < kSize) {
        return std::nullopt;
    }
    const char* in = bytes.constData();
    WindowPlacement p;
    p.length = quint32(GetInt(in));
    p.flags = quint32(GetInt(in + 4));
    p.showCmd = quint32(GetInt(in + 8));
    p.minPosition = QPoint(GetInt(in + 12), GetInt(in + 16));
    p.maxPosition = QPoint(GetInt(in + 20), GetInt(in + 24));
    p.normalLeft = GetInt(in + 28);
    p.normalTop = GetInt(in + 32);
    p.normalRight = GetInt(in + 36);
    p.normalBottom = GetInt(in + 40);
    return p;
}

std::optional<WindowPlacement> WindowPlacement::FromWindow(const QWidget* window) {
    if (!window) {
        return std::nullopt;
    }
    const Qt::WindowStates state = window->windowState();
    WindowPlacement p;
    if (state & Qt::WindowMinimized) {
        p.showCmd = kShowMinimized;
        if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
            p.flags = kRestoreToMaximized;
        }
    } else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        p.showCmd = kShowMaximized;
    }
    // Qt keeps the restored geometry aside only while the window is
    // maximised or full screen; otherwise the geometry itself is it.
    QRect normal = window->geometry();
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        const QRect kept = window->normalGeometry();
        if (kept.isValid()) {
            normal = kept;
        }
    }
    p.SetNormalRect(normal);
    return p;
}

bool WindowPlacement::ApplyTo(QWidget* window) const {
    const QRect normal = NormalRect();
    if (!window || length != quint32(kSize) || normal.isEmpty()) {
        return false;
    }
    const Qt::WindowStates plain =
        window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    Qt::WindowStates target = plain;
    switch (showCmd) {
    case kShowMinimized:
    case 6: // minimise
    case 7: // minimised, not activated
        target |= Qt::WindowMinimized;
        if (flags & kRestoreToMaximized) {
            target |= Qt::WindowMaximized;
        }
        break;
    case kShowMaximized:
        target |= Qt::WindowMaximized;
        break;
    default:
        break;
    }
    // The normal rectangle can only be set on a window in the normal state;
    // Qt then remembers it as the geometry to restore to.
    window->setWindowState(plain);
    window->setGeometry(normal);
    window->setWindowState(target);
    return true;
}

WindowPlacementStore::WindowPlacementStore(QSettings* settings) : store(settings) {}

bool WindowPlacementStore::SavePlacement(QWidget* window, const QString& entry,
                                         const QString& section) {
    const std::optional<WindowPlacement> current = WindowPlacement::FromWindow(window);
    if (!current) {
        return false;
    }
    placement = *current;
    ScopedSettings settings(store);
    settings->setValue(Key(section, entry), placement.ToBytes());
    const bool recordWritten = settings.Flush();
    settings->setValue(Key(section, QString::fromUtf16(kShowOverrideEntry)), showOverride);
    const bool overrideWritten = settings.Flush();
    return recordWritten && overrideWritten;
}

bool WindowPlacementStore::RestorePlacement(QWidget* window, const QString& entry,
                                            const QString& section) {
    if (!window) {
        return false;
    }
    ScopedSettings settings(store);
    if (firstRestore) {
        firstRestore = false;
        defaultPlacement = WindowPlacement::FromWindow(window).value_or(WindowPlacement{});
        if (const QScreen* screen = window->screen()) {
            const QRect area = screen->geometry();
            QRect normal = defaultPlacement.NormalRect();
            normal.moveTo(area.x() + (area.width() - normal.width()) / 2,
                          area.y() + (area.height() - normal.height()) / 2);
            defaultPlacement.SetNormalRect(normal);
        }
        bool ok = false;
        const int stored =
            settings->value(Key(section, QString::fromUtf16(kShowOverrideEntry))).toInt(&ok);
        showOverride = ok ? stored : 0;
    }

    const QVariant value = settings->value(Key(section, entry));
    // A text value someone typed into the file is not a record, even when it
    // happens to be 44 characters long.
    std::optional<WindowPlacement> stored;
    if (value.typeId() == QMetaType::QByteArray) {
        stored = WindowPlacement::FromBytes(value.toByteArray());
    }
    if (!stored) {
        placement = defaultPlacement;
        return false;
    }
    stored->showCmd = AdjustedShowCommand(stored->showCmd, stored->flags, showOverride);
    if (!stored->ApplyTo(window)) {
        placement = defaultPlacement;
        return false;
    }
    placement = *stored;
    return true;
}

quint32 WindowPlacementStore::AdjustedShowCommand(quint32 showCmd, quint32 flags, int override) {
    switch (override) {
    case 1:
        return showCmd;
    case 2:
        return WindowPlacement::kShowNormal;
    case 3:
        return WindowPlacement::kShowMaximized;
    case 4:
        return WindowPlacement::kShowMinimized;
    default:
        // Never come back minimised by accident: a window closed while
        // minimised returns in the state it would have been restored to.
        return showCmd == WindowPlacement::kShowMinimized ? flags + 1 : showCmd;
    }
}

} // namespace zorvane
