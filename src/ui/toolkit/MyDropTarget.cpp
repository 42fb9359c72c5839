#include "MyDropTarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSet>
#include <QUrl>
#include <QWidget>

namespace zorvane {

CMyDropTarget::CMyDropTarget(QWidget* listControl, ListedPaths paths, QObject* parent)
    : QObject(parent), list(listControl), listedPaths(std::move(paths)) {}

CMyDropTarget::~CMyDropTarget() {
    Revoke();
}

bool CMyDropTarget::Register(QWidget* window) {
    if (window == nullptr) {
        return false;
    }
    Revoke();
    registeredWindow = window;
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    return true;
}

void CMyDropTarget::Revoke() {
    if (registeredWindow != nullptr) {
        registeredWindow->removeEventFilter(this);
        registeredWindow->setAcceptDrops(false);
    }
    registeredWindow = nullptr;
}

Qt::CaseSensitivity CMyDropTarget::PathCase() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

QStringList CMyDropTarget::DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        // Links dragged from a browser arrive in the same list; only files
        // and folders on this machine can be loaded.
        if (!url.isLocalFile()) {
            continue;
        }
        const QString path = url.toLocalFile();
        if (!path.isEmpty()) {
            files.append(QDir::cleanPath(path));
        }
    }
    return files;
}

bool CMyDropTarget::CanDrop(const QMimeData* data) {
    if (data == nullptr || data->hasFormat(QString(kPrivateDragFormat))) {
        return false;
    }
    return !DroppedFiles(data).isEmpty();
}

bool CMyDropTarget::IsOverList(const QWidget* window, const QPoint& position) const {
    if (list == nullptr) {
        return false;
    }
    const QRect listArea(list->mapToGlobal(QPoint(0, 0)), list->size());
    return listArea.contains(window->mapToGlobal(position));
}

QStringList CMyDropTarget::NewPaths(const QStringList& dropped) const {
    const bool foldCase = PathCase() == Qt::CaseInsensitive;
    auto key = [foldCase](const QString& path) { return foldCase ? path.toCaseFolded() : path; };
    QSet<QString> known;
    if (listedPaths) {
        const QStringList listed = listedPaths();
        known.reserve(listed.size() + dropped.size());
        for (const QString& path : listed) {
            known.insert(key(QDir::cleanPath(path)));
        }
    }
    QStringList fresh;
    for (const QString& path : dropped) {
        // A file named twice in one drop would otherwise become two rows.
        const QString k = key(path);
        if (known.contains(k)) {
            continue;
        }
        known.insert(k);
        fresh.append(path);
    }
    return fresh;
}

void CMyDropTarget::PostNewPaths(const QStringList& paths) {
    if (owner != nullptr) {
        QCoreApplication::postEvent(owner, new DroppedPathsEvent(NewPaths(paths)));
    }
}

bool CMyDropTarget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != registeredWindow) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        bool copy =
            acceptDrops && (drag->possibleActions() & Qt::CopyAction) && CanDrop(drag->mimeData());
        // Entering only judges the data: refusing it here would stop the
        // moves that tell whether the pointer is over the list.
        if (copy && event->type() == QEvent::DragMove) {
            copy = IsOverList(registeredWindow, drag->position().toPoint());
        }
        if (copy) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->setDropAction(Qt::IgnoreAction);
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        // The last move already refused a drop outside the list; a drop that
        // arrives there anyway is refused too.
        if (!acceptDrops || !CanDrop(drop->mimeData()) ||
            !IsOverList(registeredWindow, drop->position().toPoint())) {
            drop->setDropAction(Qt::IgnoreAction);
            drop->ignore();
            return true;
        }
        PostNewPaths(DroppedFiles(drop->mimeData()));
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace zorvane
