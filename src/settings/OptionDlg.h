#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QComboBox;
class QGroupBox;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace zorvane {

class DialogUnits;
class SettingsStore;

// The Options dialog: speed and mode, output folder and encoder settings,
// edited straight in the store's record. OK stores what the controls show,
// Cancel stores nothing, and Reset brings every setting back to its default
// at once (deleting Config.ini) while the dialog stays open.
class COption : public QDialog {
    Q_OBJECT

public:
    // Control numbers, kept on the widgets so that anyone can find a control
    // by number (GetDlgItem). The speed edit and its arrows are one spin box.
    enum Control : int {
        IdOk = 1,
        IdCancel = 2,
        IdReset = 3,
        IdOutputFolder = 1012,
        IdBrowse = 1047,
        IdSameAsSource = 1080,
        IdSaveFilesTo = 1081,
        IdResampleMode = 1082,
        IdTempoMode = 1083,
        IdFrequencyLabel = 1084,
        IdChannelLabel = 1085,
        IdBitrateLabel = 1086,
        IdSpeedLabel = 1087,
        IdFrequencyList = 1088,
        IdChannelList = 1089,
        IdBitrateList = 1090,
        IdBitrateNote = 1091,
        IdSpeedNote = 1092,
        IdSpeed = 1105,
    };

    // The frequency list's popup is at least this wide, in pixels.
    static constexpr int kFrequencyDropWidth = 256;

    // showSettingsSummary refreshes the main window's summary; Reset calls it
    // at once, because the record has already changed when Reset returns.
    COption(SettingsStore& store, std::function<void()> showSettingsSummary,
            QWidget* parent = nullptr);
    ~COption() override;

    QWidget* GetDlgItem(int controlId) const;

    // OK: stores the controls into the record, or keeps the dialog open when
    // "Save Files to" has no folder.
    void accept() override;

protected:
    // The chosen folder, or an empty string when the user cancelled.
    virtual QString PickFolder(const QString& start);
    // True when the user confirms the reset.
    virtual bool AskReset();
    virtual void ShowInvalidFolder();

private:
    void CreateControls();
    // Each builds one part of the dialog with its layout and connections, for
    // CreateControls to stack; called in tab order, since the focus follows
    // the order in which the controls are made.
    QGroupBox* CreateSpeedGroup(const DialogUnits& du);
    QGroupBox* CreateFolderGroup(const DialogUnits& du);
    QGroupBox* CreateEncoderGroup(const DialogUnits& du);
    QLayout* CreateButtons(const DialogUnits& du);
    // Shows the record in the controls; runs again after a reset.
    void InitControls();
    void OnBrowse();
    void OnReset();

    SettingsStore& store;
    std::function<void()> showSettingsSummary;

    QRadioButton* tempoMode = nullptr;
    QRadioButton* resampleMode = nullptr;
    QSpinBox* speed = nullptr;
    QRadioButton* sameAsSource = nullptr;
    QRadioButton* saveFilesTo = nullptr;
    QLineEdit* outputFolder = nullptr;
    QPushButton* browse = nullptr;
    QComboBox* frequencyList = nullptr;
    QComboBox* channelList = nullptr;
    QComboBox* bitrateList = nullptr;
};

} // namespace zorvane
