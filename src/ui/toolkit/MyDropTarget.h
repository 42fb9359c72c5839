#pragma once

#include <QEvent>
#include <QLatin1String>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <utility>

class QMimeData;
class QWidget;

namespace zorvane {

// The file list puts this format on its own drags (data: one zero byte). The
// drop target refuses anything carrying it, so rows dragged out of the list
// and back onto the window add nothing.
inline constexpr QLatin1String kPrivateDragFormat{
    "application/x-zorvane-3C5E9A71-4D28-4b6f-9E13-A7D2F04B8C66"};

// Posted to the owner after a drop, even when every dropped file was already
// listed: the receiver handles a drop the same way whatever it brought.
inline constexpr QEvent::Type WM_DROPPED_PATHS = QEvent::Type(1126);

class DroppedPathsEvent final : public QEvent {
public:
    explicit DroppedPathsEvent(QStringList droppedPaths)
        : QEvent(WM_DROPPED_PATHS), paths(std::move(droppedPaths)) {}
    // Full paths of files and folders that were not yet in the list.
    QStringList paths;
};

// Accepts files dragged from other programs onto the main window, over the
// file list only, and posts the ones the list does not have yet to the owner.
class CMyDropTarget : public QObject {
    Q_OBJECT

public:
    // Full paths (Path text followed by Name text) of the list's rows.
    using ListedPaths = std::function<QStringList()>;

    CMyDropTarget(QWidget* listControl, ListedPaths listedPaths, QObject* parent = nullptr);
    ~CMyDropTarget() override;

    // Receives drags for window: drags over its children that do not take
    // drops themselves (the file list must not) arrive there too.
    bool Register(QWidget* window);
    void Revoke();

    void SetOwner(QObject* ownerObject) { owner = ownerObject; }
    QObject* Owner() const { return owner; }
    void SetAcceptDrops(bool accept) { acceptDrops = accept; }
    bool AcceptsDrops() const { return acceptDrops; }

    // Data can be dropped when it carries at least one local file and is not
    // one of our own drags.
    static bool CanDrop(const QMimeData* data);
    // Local file paths of the data, cleaned; other URLs are left out.
    static QStringList DroppedFiles(const QMimeData* data);
    // How paths compare: file systems here tell letter case apart.
    static Qt::CaseSensitivity PathCase();

    // Posts the paths the list does not have yet to the owner, as a drop of
    // them would: for files handed in from outside (the command line, a
    // later copy of the program).
    void PostNewPaths(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsOverList(const QWidget* window, const QPoint& position) const;
    QStringList NewPaths(const QStringList& dropped) const;

    QPointer<QWidget> list;
    ListedPaths listedPaths;
    QPointer<QWidget> registeredWindow;
    QPointer<QObject> owner;
    bool acceptDrops = false;
};

} // namespace zorvane
