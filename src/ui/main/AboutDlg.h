#pragma once

#include <QDialog>

namespace zorvane {

class CHyperLink;
class ShellOpener;

// The About box: the program's icon, name and version, and two links, the
// maker's homepage and the support address.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // opener may be null: the links then open through the desktop.
    explicit CAboutDlg(QWidget* parent = nullptr, ShellOpener* opener = nullptr);
    CHyperLink* HomepageLink() const { return homepage; }
    CHyperLink* SupportLink() const { return support; }

private:
    CHyperLink* homepage = nullptr;
    CHyperLink* support = nullptr;
};

} // namespace zorvane
