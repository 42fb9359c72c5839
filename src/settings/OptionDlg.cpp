#include "OptionDlg.h"

#include "settings/SettingsStore.h"
#include "ui/toolkit/DialogUnits.h"
#include "ui/toolkit/FolderDialog.h"
#include "ui/toolkit/ResizeDlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

namespace {

// The leading blanks line the numbers up; each list's index is its field's value.
constexpr std::array<const char16_t*, kSampleRateHz.size()> kFrequencyEntries{
    u" Automatic (Fastest & Optimal Way, Recommended)",
    u"   8000 Hertz",
    u" 11025 Hertz",
    u" 12000 Hertz",
    u" 16000 Hertz",
    u" 22050 Hertz",
    u" 24000 Hertz",
    u" 32000 Hertz",
    u" 44100 Hertz",
    u" 48000 Hertz",
};

constexpr std::array<const char16_t*, ChannelDual + 1> kChannelEntries{
    u" Automatic (Fastest & Optimal Way, Recommended)",
    u" Mono",
    u" Stereo",
    u" Joint Stereo",
    u" Dual Channel",
};

constexpr std::array<const char16_t*, kBitrateKbps.size()> kBitrateEntries{
    u"   8 kbits per second", u"  16 kbits per second", u"  24 kbits per second",
    u"  32 kbits per second", u"  40 kbits per second", u"  48 kbits per second",
    u"  56 kbits per second", u"  64 kbits per second", u"  80 kbits per second",
    u"  96 kbits per second", u" 112 kbits per second", u" 128 kbits per second",
    u" 160 kbits per second", u" 192 kbits per second", u" 224 kbits per second",
    u" 256 kbits per second", u" 320 kbits per second",
};

template <std::size_t N>
void FillList(QComboBox* list, const std::array<const char16_t*, N>& entries, int selected) {
    list->clear();
    for (const char16_t* entry : entries) {
        list->addItem(QString::fromUtf16(entry));
    }
    list->setCurrentIndex(selected);
}

// A list shows no entry for a value outside its table; OK then keeps the field.
void StoreIndex(const QComboBox* list, int16_t& field) {
    if (list->currentIndex() >= 0) {
        field = static_cast<int16_t>(list->currentIndex());
    }
}

QLabel* NewLabel(int id, const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    SetDlgCtrlID(l, id);
    l->setBuddy(buddy);
    return l;
}

QRadioButton* NewRadio(int id, const QString& text, QWidget* parent) {
    auto* r = new QRadioButton(text, parent);
    SetDlgCtrlID(r, id);
    return r;
}

QComboBox* NewList(const DialogUnits& du, int id, const QString& name, QWidget* parent) {
    auto* c = new QComboBox(parent);
    SetDlgCtrlID(c, id);
    c->setAccessibleName(name);
    c->setMinimumWidth(du.X(190));
    return c;
}

} // namespace

COption::COption(SettingsStore& settingsStore, std::function<void()> summary, QWidget* parent)
    : QDialog(parent), store(settingsStore), showSettingsSummary(std::move(summary)) {
    setWindowTitle(u"Options"_s);
    CreateControls();
    InitControls();
}

COption::~COption() = default;

QWidget* COption::GetDlgItem(int controlId) const {
    return FindDlgItem(this, controlId);
}

void COption::CreateControls() {
    // Sizes from the original layout, in dialog units, serve only as minimums:
    // the layouts grow with the font and the text, never below what fits.
    const DialogUnits du(font());

    // Created in the order the user tabs through them.
    QGroupBox* speedGroup = CreateSpeedGroup(du);
    QGroupBox* folderGroup = CreateFolderGroup(du);
    QGroupBox* encoderGroup = CreateEncoderGroup(du);
    QLayout* buttons = CreateButtons(du);

    auto* page = new QVBoxLayout(this);
    page->addWidget(speedGroup);
    page->addWidget(folderGroup);
    page->addWidget(encoderGroup);
    // Extra height goes below the groups, not into them.
    page->addStretch(1);
    page->addLayout(buttons);
    page->setSizeConstraint(QLayout::SetMinimumSize);
}

QGroupBox* COption::CreateSpeedGroup(const DialogUnits& du) {
    auto* group = new QGroupBox(u"Speed Adjustment"_s, this);
    tempoMode = NewRadio(IdTempoMode, u"Tempo Mode (Change Tempo and Preserve Pitch)"_s, group);
    resampleMode =
        NewRadio(IdResampleMode, u"Resampling Mode (Change Both Tempo and Pitch)"_s, group);
    speed = new QSpinBox(group);
    SetDlgCtrlID(speed, IdSpeed);
    speed->setAccessibleName(u"Speed"_s);
    speed->setRange(kMinSpeedPercent, kMaxSpeedPercent);
    speed->setAlignment(Qt::AlignCenter);
    speed->setWrapping(false);
    // A number typed below the range becomes its lowest value; one above it
    // cannot be typed at all, since the validator refuses the extra digit.
    speed->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    speed->setMinimumWidth(du.X(45));
    QLabel* speedLabel = NewLabel(IdSpeedLabel, u"Speed:"_s, speed, group);
    QLabel* speedNote = NewLabel(
        IdSpeedNote, u"(100 is equal to 1.00x Speed, Valid from 20 to 500)"_s, nullptr, group);
    speed->setAccessibleDescription(speedNote->text());

    auto* grid = new QGridLayout(group);
    grid->addWidget(tempoMode, 0, 0, 1, 3);
    grid->addWidget(resampleMode, 1, 0, 1, 3);
    grid->addWidget(speedLabel, 2, 0);
    grid->addWidget(speed, 2, 1);
    grid->addWidget(speedNote, 2, 2);
    grid->setColumnStretch(2, 1);
    return group;
}

QGroupBox* COption::CreateFolderGroup(const DialogUnits& du) {
    auto* group = new QGroupBox(u"Output Folder"_s, this);
    sameAsSource = NewRadio(IdSameAsSource, u"Same as Source"_s, group);
    saveFilesTo = NewRadio(IdSaveFilesTo, u"Save Files to"_s, group);
    // Read-only rather than disabled: the whole path stays readable, selectable
    // and reachable for screen readers, but only the picker changes it.
    outputFolder = new QLineEdit(group);
    SetDlgCtrlID(outputFolder, IdOutputFolder);
    outputFolder->setReadOnly(true);
    outputFolder->setAccessibleName(u"Output Folder"_s);
    outputFolder->setMinimumWidth(du.X(262));
    connect(outputFolder, &QLineEdit::textChanged, outputFolder, &QWidget::setToolTip);
    browse = new QPushButton(u"..."_s, group);
    SetDlgCtrlID(browse, IdBrowse);
    browse->setAccessibleName(u"Specify the Output Folder"_s);
    // The style's usual button width would dwarf three dots.
    browse->setFixedWidth(
        qMax(du.X(21), browse->fontMetrics().horizontalAdvance(browse->text()) + du.X(16)));

    auto* grid = new QGridLayout(group);
    grid->addWidget(sameAsSource, 0, 0, 1, 2);
    grid->addWidget(saveFilesTo, 1, 0, 1, 2);
    grid->addWidget(outputFolder, 2, 0);
    grid->addWidget(browse, 2, 1);
    grid->setColumnStretch(0, 1);

    connect(sameAsSource, &QRadioButton::toggled, browse,
            [this](bool checked) { browse->setEnabled(!checked); });
    connect(browse, &QPushButton::clicked, this, &COption::OnBrowse);
    return group;
}

QGroupBox* COption::CreateEncoderGroup(const DialogUnits& du) {
    auto* group = new QGroupBox(u"Encoder Settings"_s, this);
    frequencyList = NewList(du, IdFrequencyList, u"Sampling Frequency"_s, group);
    // The popup stays wide enough for the long automatic entry, however narrow the list.
    frequencyList->view()->setMinimumWidth(kFrequencyDropWidth);
    channelList = NewList(du, IdChannelList, u"Channel Mode"_s, group);
    bitrateList = NewList(du, IdBitrateList, u"Bits per Second"_s, group);

    auto* grid = new QGridLayout(group);
    QLabel* frequencyLabel =
        NewLabel(IdFrequencyLabel, u"Sampling Frequency:"_s, frequencyList, group);
    QLabel* channelLabel = NewLabel(IdChannelLabel, u"Channel Mode:"_s, channelList, group);
    QLabel* bitrateLabel = NewLabel(IdBitrateLabel, u"Bits per Second:"_s, bitrateList, group);
    QLabel* bitrateNote = NewLabel(
        IdBitrateNote, u"NOTE: The Bitrate is Estimated  for Stereo 44100 Hz."_s, nullptr, group);

    grid->addWidget(frequencyLabel, 0, 0);
    grid->addWidget(frequencyList, 0, 1);
    grid->addWidget(channelLabel, 1, 0);
    grid->addWidget(channelList, 1, 1);
    grid->addWidget(bitrateLabel, 2, 0);
    grid->addWidget(bitrateList, 2, 1);
    grid->addWidget(bitrateNote, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(0, du.X(75));
    return group;
}

QLayout* COption::CreateButtons(const DialogUnits& du) {
    auto button = [this, &du](int id, const QString& text) {
        auto* b = new QPushButton(text, this);
        SetDlgCtrlID(b, id);
        b->setMinimumWidth(du.X(50));
        return b;
    };
    QPushButton* reset = button(IdReset, u"Reset"_s);
    QPushButton* ok = button(IdOk, u"OK"_s);
    ok->setDefault(true);
    QPushButton* cancel = button(IdCancel, u"Cancel"_s);

    auto* row = new QHBoxLayout;
    row->addStretch(2);
    row->addWidget(reset);
    row->addStretch(1);
    row->addWidget(ok);
    row->addStretch(1);
    row->addWidget(cancel);
    row->addStretch(2);

    connect(reset, &QPushButton::clicked, this, &COption::OnReset);
    connect(ok, &QPushButton::clicked, this, &COption::accept);
    connect(cancel, &QPushButton::clicked, this, &COption::reject);
    return row;
}

void COption::InitControls() {
    const ConversionSettings& s = store.settings;
    speed->setValue(s.speedPercent);

    // A button that is already checked reports no toggle, so the picker
    // button cannot rely on the radio buttons' signal here.
    (s.sameAsSource == 1 ? sameAsSource : saveFilesTo)->setChecked(true);
    browse->setEnabled(s.sameAsSource == 0);
    outputFolder->setText(s.outputFolder);

    (s.speedMode == SpeedModeResample ? resampleMode : tempoMode)->setChecked(true);

    FillList(frequencyList, kFrequencyEntries, s.frequencyIndex);
    FillList(channelList, kChannelEntries, s.channelMode);
    FillList(bitrateList, kBitrateEntries, s.bitrateIndex);
}

void COption::OnBrowse() {
    // The stored folder, not the edit's text: the picker starts where the
    // settings say, whatever was picked since.
    const QString chosen = PickFolder(store.settings.outputFolder);
    if (!chosen.isEmpty()) {
        outputFolder->setText(chosen);
    }
}

void COption::OnReset() {
    if (!AskReset()) {
        return;
    }
    store.ResetSettings();
    InitControls();
    if (showSettingsSummary) {
        showSettingsSummary();
    }
}

void COption::accept() {
    ConversionSettings& s = store.settings;
    s.sameAsSource = sameAsSource->isChecked() ? 1 : 0;
    s.outputFolder = outputFolder->text();
    s.speedMode = resampleMode->isChecked() ? SpeedModeResample : SpeedModeTempo;
    if (s.sameAsSource == 0) {
        if (s.outputFolder.isEmpty()) {
            ShowInvalidFolder();
            return;
        }
        if (!s.outputFolder.endsWith(u'/')) {
            s.outputFolder += u'/';
        }
    }
    StoreIndex(frequencyList, s.frequencyIndex);
    StoreIndex(channelList, s.channelMode);
    StoreIndex(bitrateList, s.bitrateIndex);
    // OK by Enter leaves the typed text uninterpreted; the spin box's value
    // is always within range once it is.
    speed->interpretText();
    s.speedPercent = static_cast<int16_t>(speed->value());
    QDialog::accept();
}

QString COption::PickFolder(const QString& start) {
    CFolderDialog picker(u"Specify the Output Folder"_s, start, this, CFolderDialog::kDefaultFlags);
    picker.SetRootFolder(QString());
    return picker.Browse() == CFolderDialog::kChosen ? picker.SelectedPath() : QString();
}

bool COption::AskReset() {
    return QMessageBox::warning(this, QGuiApplication::applicationDisplayName(),
                                u"Reset ALL Options, Are You Sure?"_s,
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void COption::ShowInvalidFolder() {
    QMessageBox::critical(this, QGuiApplication::applicationDisplayName(),
                          u"Invalidate Output Folder!"_s);
}

} // namespace zorvane
