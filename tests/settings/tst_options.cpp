// The Options dialog against a settings store in a temporary folder, with
// the picker and the message boxes answered by the test.

#include "platform/MessageSink.h"
#include "settings/OptionDlg.h"
#include "settings/SettingsStore.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace zorvane;
using namespace Qt::Literals::StringLiterals;

namespace {

class RecordingSink final : public MessageSink {
public:
    void ShowError(const QString& text) override { messages.append(text); }
    void ShowMessage(const QString& text) override { messages.append(text); }
    QStringList messages;
};

class TestOption final : public COption {
public:
    using COption::COption;

    template <typename T = QAbstractButton> T* Item(int id) const {
        return static_cast<T*>(GetDlgItem(id));
    }
    void Click(int id) const { Item(id)->click(); }

    bool confirmReset = true;
    QString pickAnswer;
    QStringList pickStarts;
    int resetQuestions = 0;
    int invalidFolderMessages = 0;

protected:
    QString PickFolder(const QString& start) override {
        pickStarts << start;
        return pickAnswer;
    }
    bool AskReset() override {
        ++resetQuestions;
        return confirmReset;
    }
    void ShowInvalidFolder() override { ++invalidFolderMessages; }
};

// Field by field, so that a failed comparison names the field at fault.
QString Describe(const ConversionSettings& s) {
    return u"same=%1 mode=%2 speed=%3 bitrate=%4 channel=%5 frequency=%6 folder=%7"_s.arg(
        QString::number(s.sameAsSource), QString::number(s.speedMode),
        QString::number(s.speedPercent), QString::number(s.bitrateIndex),
        QString::number(s.channelMode), QString::number(s.frequencyIndex), s.outputFolder);
}

// What the controls show, in the same manner; lists with their entry count.
QString Shown(const TestOption& d) {
    auto list = [&d](int id) {
        auto* c = d.Item<QComboBox>(id);
        return u"%1/%2"_s.arg(c->currentText(), QString::number(c->count()));
    };
    auto flag = [&d](int id, bool enabled = false) {
        return QString::number(enabled ? d.Item(id)->isEnabled() : d.Item(id)->isChecked());
    };
    return u"tempo=%1 speed=%2 same=%3 browse=%4 folder=%5 frequency=%6 channel=%7 bitrate=%8"_s
        .arg(flag(COption::IdTempoMode),
             QString::number(d.Item<QSpinBox>(COption::IdSpeed)->value()),
             flag(COption::IdSameAsSource), flag(COption::IdBrowse, true),
             d.Item<QLineEdit>(COption::IdOutputFolder)->text(), list(COption::IdFrequencyList),
             list(COption::IdChannelList), list(COption::IdBitrateList));
}

} // namespace

class TstOptions : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    RecordingSink sink;
    std::unique_ptr<SettingsStore> store;
    int summaries = 0;

    std::unique_ptr<TestOption> OpenDialog() {
        auto dialog = std::make_unique<TestOption>(*store, [this] { ++summaries; });
        dialog->show();
        return dialog;
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u"config"_s)));
        qputenv("XDG_MUSIC_DIR", QFile::encodeName(home.filePath(u"Music"_s)));
    }

    void init() {
        const StandardFolders folders{home.filePath(u"Music"_s), home.filePath(u"Desktop"_s),
                                      home.path(), home.filePath(u"config"_s),
                                      home.filePath(u"bin/zorvane"_s)};
        store = std::make_unique<SettingsStore>(&sink, folders);
        store->InitSettingsPaths();
        summaries = 0;
    }

    // The store reports its own failures only through the sink.
    void cleanup() { QCOMPARE(sink.messages, QStringList()); }

    void resetShowsDefaultsAndKeepsDialogOpen() {
        store->settings = {1, SpeedModeResample, 250, 0, ChannelDual, 9, 9, u"/elsewhere/"_s, {}};
        QCOMPARE(store->SaveSettings(QString()), 1);
        auto dialog = OpenDialog();
        const QString stored = u"tempo=0 speed=250 same=1 browse=0 folder=/elsewhere/ "
                               u"frequency= 48000 Hertz/10 channel= Dual Channel/5 "
                               u"bitrate=   8 kbits per second/17"_s;
        QCOMPARE(Shown(*dialog), stored);

        dialog->confirmReset = false;
        dialog->Click(COption::IdReset);
        QCOMPARE(dialog->resetQuestions, 1);
        QVERIFY(QFile::exists(store->ConfigFilePath()));
        QCOMPARE(Shown(*dialog), stored);

        dialog->confirmReset = true;
        dialog->Click(COption::IdReset);
        QVERIFY(!QFile::exists(store->ConfigFilePath()));
        QCOMPARE(summaries, 1);
        QVERIFY(dialog->isVisible());
        const QString automatic = u" Automatic (Fastest & Optimal Way, Recommended)"_s;
        QCOMPARE(Shown(*dialog),
                 u"tempo=1 speed=100 same=0 browse=1 folder=%1/ "
                 u"frequency=%2/10 channel=%2/5 bitrate= 128 kbits per second/17"_s.arg(
                     home.filePath(u"Music"_s), automatic));
        auto* folder = dialog->Item<QLineEdit>(COption::IdOutputFolder);
        QVERIFY(folder->isReadOnly());
        QCOMPARE(folder->toolTip(), folder->text());

        QCOMPARE(dialog->Item<QLabel>(COption::IdBitrateLabel)->text(), u"Bits per Second:"_s);
        using Id = COption::Control;
        const QList<QPair<Id, Id>> buddies{{Id::IdSpeedLabel, Id::IdSpeed},
                                           {Id::IdFrequencyLabel, Id::IdFrequencyList},
                                           {Id::IdChannelLabel, Id::IdChannelList},
                                           {Id::IdBitrateLabel, Id::IdBitrateList}};
        for (const auto& [label, field] : buddies) {
            QCOMPARE(dialog->Item<QLabel>(label)->buddy(), dialog->GetDlgItem(field));
        }
        QVERIFY(dialog->Item<QComboBox>(COption::IdFrequencyList)->view()->minimumWidth() >= 256);
        dialog->resize(1, 1);
        QCOMPARE(dialog->size().expandedTo(dialog->layout()->minimumSize()), dialog->size());
    }

    void speedStaysInRange_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("arrowSteps");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<int>("expected");
        QTest::newRow("250") << 100 << u"250"_s << 0 << false << 250;
        QTest::newRow("5, OK clicked") << 100 << u"5"_s << 0 << false << 20;
        QTest::newRow("5, Enter") << 100 << u"5"_s << 0 << true << 20;
        QTest::newRow("0") << 100 << u"0"_s << 0 << false << 20;
        // The third digit would pass 500 and is refused as it is typed.
        QTest::newRow("9999") << 100 << u"9999"_s << 0 << true << 99;
        QTest::newRow("501") << 100 << u"501"_s << 0 << false << 50;
        QTest::newRow("up stops at 500") << 498 << QString() << 5 << false << 500;
        QTest::newRow("down stops at 20") << 22 << QString() << -5 << false << 20;
    }

    void speedStaysInRange() {
        QFETCH(int, start);
        QFETCH(QString, typed);
        QFETCH(int, arrowSteps);
        QFETCH(bool, byEnter);
        QFETCH(int, expected);
        store->settings.speedPercent = static_cast<int16_t>(start);
        auto dialog = OpenDialog();
        auto* speed = dialog->Item<QSpinBox>(COption::IdSpeed);
        if (!typed.isEmpty()) {
            speed->selectAll();
            QTest::keyClicks(speed, typed);
        }
        for (int i = 0; i < qAbs(arrowSteps); ++i) {
            QTest::keyClick(speed, arrowSteps > 0 ? Qt::Key_Up : Qt::Key_Down);
        }
        if (byEnter) {
            QTest::keyClick(speed, Qt::Key_Return);
        } else {
            dialog->Click(COption::IdOk);
        }
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(int(store->settings.speedPercent), expected);
    }

    void outputFolderRule_data() {
        QTest::addColumn<int>("sameAsSource");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("browse");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("accepted");
        const QString longFolder = u"/m/"_s + QString(300, u'x') + u'/';
        QTest::newRow("same, empty") << 1 << QString() << false << QString() << QString() << true;
        QTest::newRow("same, bare") << 1 << u"/m/a"_s << false << QString() << u"/m/a"_s << true;
        QTest::newRow("save, bare") << 0 << u"/m/a"_s << false << QString() << u"/m/a/"_s << true;
        QTest::newRow("save, /") << 0 << u"/m/a/"_s << false << QString() << u"/m/a/"_s << true;
        QTest::newRow("save, empty") << 0 << QString() << false << QString() << QString() << false;
        QTest::newRow("picked") << 0 << u"/m/a/"_s << true << u"/m/b"_s << u"/m/b/"_s << true;
        QTest::newRow("picker cancelled")
            << 0 << u"/m/a/"_s << true << QString() << u"/m/a/"_s << true;
        QTest::newRow("long start") << 0 << longFolder << true << u"/m/b"_s << u"/m/b/"_s << true;
    }

    void outputFolderRule() {
        QFETCH(int, sameAsSource);
        QFETCH(QString, stored);
        QFETCH(bool, browse);
        QFETCH(QString, picked);
        QFETCH(QString, expected);
        QFETCH(bool, accepted);
        store->settings.sameAsSource = sameAsSource;
        store->settings.outputFolder = stored;
        auto dialog = OpenDialog();
        QCOMPARE(dialog->Item(COption::IdBrowse)->isEnabled(), sameAsSource == 0);
        if (browse) {
            dialog->pickAnswer = picked;
            dialog->Click(COption::IdBrowse);
            QCOMPARE(dialog->pickStarts, QStringList{stored});
        }
        dialog->Click(COption::IdResampleMode);
        dialog->Item<QSpinBox>(COption::IdSpeed)->setValue(300);
        dialog->Click(COption::IdOk);

        QCOMPARE(dialog->result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog->isVisible(), !accepted);
        QCOMPARE(dialog->invalidFolderMessages, accepted ? 0 : 1);
        QCOMPARE(store->settings.outputFolder, expected);
        // Sameness, folder and mode are stored before the folder is judged;
        // the speed only after it.
        QCOMPARE(int(store->settings.speedMode), int(SpeedModeResample));
        QCOMPARE(int(store->settings.speedPercent), accepted ? 300 : 100);
    }

    void okStoresCancelKeeps_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }

    void okStoresCancelKeeps() {
        QFETCH(bool, ok);
        store->settings.outputFolder = u"/m/a/"_s;
        const ConversionSettings before = store->settings;
        auto dialog = OpenDialog();
        dialog->Item<QComboBox>(COption::IdFrequencyList)->setCurrentIndex(9);
        dialog->Item<QComboBox>(COption::IdChannelList)->setCurrentIndex(3);
        dialog->Item<QComboBox>(COption::IdBitrateList)->setCurrentIndex(16);
        dialog->Item<QSpinBox>(COption::IdSpeed)->setValue(40);
        dialog->Click(COption::IdResampleMode);
        dialog->pickAnswer = u"/m/c"_s;
        dialog->Click(COption::IdBrowse);
        dialog->Click(COption::IdSameAsSource);
        dialog->Click(ok ? COption::IdOk : COption::IdCancel);

        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
        ConversionSettings expected = before;
        if (ok) {
            expected = {1, SpeedModeResample, 40, 16, 3, 9, 9, u"/m/c"_s, QString()};
        }
        QCOMPARE(Describe(store->settings), Describe(expected));
        QCOMPARE(summaries, 0);
    }
};

QTEST_MAIN(TstOptions)
#include "tst_options.moc"
