#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

class QSettings;
class QWidget;

namespace zorvane {

// The settings store handed in, or else the user's own store
// (QSettings("Quenlor Corporation", "Zorvane")) for as long as this lives.
// Opening the user's store only when it is needed lets windows write their
// last values from their destructors, after their owners' members are gone.
class ScopedSettings {
public:
    explicit ScopedSettings(QSettings* given);
    ~ScopedSettings();
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

    QSettings* operator->() const { return settings; }
    QSettings& operator*() const { return *settings; }
    // Writes pending changes; false when the store could not be written.
    bool Flush();

private:
    std::unique_ptr<QSettings> own;
    QSettings* settings;
};

// A window's position, size and show state in the platform's placement
// record. The record is kept byte for byte (44 bytes, little-endian), so a
// store written by one build of the program reads in any other.
struct WindowPlacement {
    static constexpr int kSize = 44;
    // The window returns to the maximised state when it is restored from the
    // minimised one.
    static constexpr quint32 kRestoreToMaximized = 2;
    static constexpr quint32 kShowNormal = 1;
    static constexpr quint32 kShowMinimized = 2;
    static constexpr quint32 kShowMaximized = 3;

    quint32 length = kSize;
    quint32 flags = 0;
    quint32 showCmd = kShowNormal;
    // Nothing here places minimised or maximised windows by hand, so these
    // keep the platform's "not set" value.
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    // The normal (restored) rectangle of the window's client area. Right and
    // bottom lie just outside it, as the record keeps them.
    int normalLeft = 0;
    int normalTop = 0;
    int normalRight = 0;
    int normalBottom = 0;

    QRect NormalRect() const;
    void SetNormalRect(const QRect& rect);

    QByteArray ToBytes() const;
    // Reads the first 44 bytes; nothing when there are fewer.
    static std::optional<WindowPlacement> FromBytes(const QByteArray& bytes);

    // The placement of a top-level widget as it is now; nothing without one.
    static std::optional<WindowPlacement> FromWindow(const QWidget* window);
    // Gives the window the normal rectangle, then the show state. Refuses a
    // record of the wrong length or with an empty rectangle, as the platform
    // refuses such a record.
    bool ApplyTo(QWidget* window) const;

    bool operator==(const WindowPlacement&) const = default;
};

// Saves and restores window placements in the settings store: the record as a
// binary value named after the window, and one show-state override shared by
// all windows as the section's unnamed value.
class WindowPlacementStore {
public:
    // The unnamed value of a section: the registry's default value, which
    // QSettings spells "Default" on every platform.
    static constexpr const char16_t* kShowOverrideEntry = u"Default";

    // A null store means the user's own settings store, opened for each
    // access; a store given here must outlive this object.
    explicit WindowPlacementStore(QSettings* settings = nullptr);

    void SetSettings(QSettings* settings) { store = settings; }
    QSettings* Settings() const { return store; }

    bool SavePlacement(QWidget* window, const QString& entry, const QString& section);
    bool RestorePlacement(QWidget* window, const QString& entry, const QString& section);

    const WindowPlacement& Placement() const { return placement; }
    const WindowPlacement& DefaultPlacement() const { return defaultPlacement; }

    // The override as last read back from the store; 0 before any restore.
    static int ShowOverride() { return showOverride; }
    // The show command a stored placement is restored with, given the
    // override.
    static quint32 AdjustedShowCommand(quint32 showCmd, quint32 flags, int override);

private:
    QSettings* store;
    WindowPlacement placement;
    WindowPlacement defaultPlacement;
    bool firstRestore = true;

    static inline int showOverride = 0;
};

} // namespace zorvane
