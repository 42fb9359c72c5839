#include "AboutDlg.h"

#include "AppResources.h"
#include "VELTDlg.h"

#include "ui/toolkit/HyperLink.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvane {

using namespace Qt::StringLiterals;

namespace {

QFrame* SeparatorLine(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent, ShellOpener* opener) : QDialog(parent) {
    setWindowTitle(u"About Zorvane"_s);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(QSize(48, 48), devicePixelRatioF()));
    icon->setAccessibleName(u"Zorvane icon"_s);
    auto* name = new QLabel(u"Zorvane"_s, this);
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    name->setFont(nameFont);
    auto* version = new QLabel(u"Version %1"_s.arg(QCoreApplication::applicationVersion()), this);

    homepage = new CHyperLink(QString::fromUtf16(kProductWebAddress), this);
    homepage->SetLinkTarget(QString::fromUtf16(kProductWebAddress));
    homepage->setAccessibleName(u"Homepage"_s);
    // The support link shows the address and opens it as mail.
    support = new CHyperLink(QString::fromUtf16(kSupportMailAddress), this);
    support->SetLinkTarget(u"mailto:"_s + QString::fromUtf16(kSupportMailAddress));
    support->setAccessibleName(u"Support"_s);
    if (opener != nullptr) {
        homepage->SetOpener(opener);
        support->SetOpener(opener);
    }
    auto* homepageLabel = new QLabel(u"Homepage:"_s, this);
    homepageLabel->setBuddy(homepage);
    auto* supportLabel = new QLabel(u"Support:"_s, this);
    supportLabel->setBuddy(support);

    auto* links = new QGridLayout;
    links->addWidget(homepageLabel, 0, 0);
    links->addWidget(homepage, 0, 1, Qt::AlignLeft);
    links->addWidget(supportLabel, 1, 0);
    links->addWidget(support, 1, 1, Qt::AlignLeft);
    links->setColumnStretch(1, 1);

    auto* heading = new QGridLayout;
    heading->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    heading->addWidget(name, 0, 1);
    heading->addWidget(version, 1, 1);
    heading->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    // The links can take the focus now; Enter should still close the box.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setDefault(true);
    ok->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(heading);
    layout->addWidget(SeparatorLine(this));
    layout->addLayout(links);
    layout->addWidget(SeparatorLine(this));
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace zorvane
