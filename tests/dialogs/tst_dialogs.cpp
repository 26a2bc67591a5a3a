#include "dialogs/dialogplace.h"
#include "dialogs/frmabout.h"
#include "settings/settingsfile.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogtest.h"

// The Options window, About, and where they open.
class TestDialogs : public DialogTest
{
    Q_OBJECT
private Q_SLOTS:

    void openingFollowsTheStoredValuesAndApplyWritesThem_data()
    {
        QTest::addColumn<Settings>("stored");
        QTest::addColumn<QString>("checked"); // the options selected
        QTest::addColumn<int>("top");         // written by "Apply"; the rest is written as stored
        const QString blue = u"Blue"_s;
        QTest::newRow("the XP position takes its own top")
            << Settings{3840, 50, blue, 0} << u"RadXP RadTransOff"_s << 70;
        QTest::newRow("the classic position takes its own top")
            << Settings{3590, 50, blue, 1} << u"Rad9x RadTransOn"_s << 0;
        QTest::newRow("unknown position and fading values select nothing and are kept")
            << Settings{0, 123, blue, 7} << QString() << 123;
        QTest::newRow("a skin not in the list is shown and kept")
            << Settings{3840, 70, u"Gone Away"_s, 0} << u"RadXP RadTransOff"_s << 70;
    }
    void openingFollowsTheStoredValuesAndApplyWritesThem()
    {
        QFETCH(Settings, stored);
        QFETCH(QString, checked);
        QFETCH(int, top);
        QVERIFY(settingsfile::save(entry(u"settings.dat"_s), stored));
        touch(u"skins/Blue/background.gif"_s);
        FrmOptions &dialog = open();
        QStringList selected;
        for (const QRadioButton *option : dialog.findChildren<QRadioButton *>()) {
            if (option->isChecked())
                selected.append(option->objectName());
        }
        QCOMPARE(selected.join(u' '), checked);
        QCOMPARE(dialog.CmbSkin->currentText(), stored.SkinName);
        QVERIFY(!dialog.RadTransOn->isHidden() && dialog.LblTransWarning->isHidden());

        // "Apply" writes all four records even when the file has gone meanwhile,
        // and only after enabling the bar's timer.
        QVERIFY(QFile::remove(entry(u"settings.dat"_s)));
        dialog.CmdSave->click();
        QCOMPARE(m_log, QStringList{u"timer, 0 bytes"_s});
        QCOMPARE(QFileInfo(entry(u"settings.dat"_s)).size(), 512);
        stored.PosTop = qint16(top);
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}), stored);
    }

    void onlyAChoiceFromTheListChangesTheSkin_data()
    {
        QTest::addColumn<QString>("typed");    // empty: Olive is chosen from the list
        QTest::addColumn<bool>("focusLeaves"); // else typing ends with Return
        QTest::newRow("a listed name typed, then Return") << u"Olive"_s << false;
        QTest::newRow("in other letters' case, then Return") << u"olive"_s << false;
        QTest::newRow("a listed name typed, then the focus leaves") << u"Olive"_s << true;
        QTest::newRow("chosen from the list") << QString() << false;
    }
    void onlyAChoiceFromTheListChangesTheSkin()
    {
        QFETCH(QString, typed);
        QFETCH(bool, focusLeaves);
        touch(u"skins/Blue/background.gif"_s);
        touch(u"skins/Olive/background.gif"_s);
        FrmOptions &dialog = open();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QLineEdit *edit = dialog.CmbSkin->lineEdit();
        if (typed.isEmpty()) {
            dialog.CmbSkin->showPopup();
            QAbstractItemView *list = dialog.CmbSkin->view();
            list->setCurrentIndex(list->model()->index(1, 0));
            QTest::keyClick(list, Qt::Key_Return);
        } else {
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, typed);
            focusLeaves ? dialog.RadXP->setFocus() : QTest::keyClick(edit, Qt::Key_Return);
        }
        QTRY_VERIFY(!edit->hasFocus() || !focusLeaves);
        dialog.CmdSave->click();
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}).SkinName,
                 typed.isEmpty() ? u"Olive"_s : u"Blue"_s);
    }

    void closingWritesNothingAndDestroysTheDialog_data()
    {
        QTest::addColumn<bool>("about");  // else Options, with changes made
        QTest::addColumn<bool>("escape"); // else its Cancel or Close button
        QTest::newRow("Options by Cancel") << false << false;
        QTest::newRow("Options by Escape while a skin name is typed") << false << true;
        QTest::newRow("About by Close") << true << false;
        QTest::newRow("About by Escape") << true << true;
    }
    void closingWritesNothingAndDestroysTheDialog()
    {
        QFETCH(bool, about);
        QFETCH(bool, escape);
        const Settings stored{0, 123, u"Blue"_s, 7};
        QVERIFY(settingsfile::save(entry(u"settings.dat"_s), stored));
        FrmAbout *const aboutBox = about ? new FrmAbout : nullptr;
        QPointer<QWidget> dialog = aboutBox ? static_cast<QWidget *>(aboutBox) : &open();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        if (!about) {
            m_dialog->RadXP->click();
            m_dialog->RadTransOff->click();
            m_dialog->CmbSkin->lineEdit()->setFocus();
        }
        if (escape)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            QTest::mouseClick(about ? aboutBox->CmdClose : m_dialog->CmdCancel, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(dialog.isNull());
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}), stored);
        QVERIFY(m_log.isEmpty());
    }

    void optionsIsWalkedTopToBottomFromApply()
    {
        FrmOptions &dialog = open();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QStringList walk;
        for (int i = 0; i < 8; ++i) {
            QWidget *focus = QApplication::focusWidget();
            while (focus->objectName().isEmpty()) // the skin box's own editor
                focus = focus->parentWidget();
            walk.append(focus->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        // Each group of options is one stop (Qt's: the arrow keys move in it).
        QCOMPARE(walk.join(u' '),
                 u"CmdSave ChkAutostart CmbSkin RadXP RadTransOn CmdUpdate CmdCancel CmdSave"_s);
        // The skin box is named by the text before it; a caption's leading
        // space is not spoken.
        QCOMPARE(QAccessible::queryAccessibleInterface(dialog.Rad9x)->text(QAccessible::Name),
                 u"Windows Classic Style"_s);
        const auto labels =
            QAccessible::queryAccessibleInterface(dialog.CmbSkin)->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty() && labels.first().first->object() == dialog.LblSelectSkin);
    }

    void aSettingsFileThatCannotBeWrittenIsReported()
    {
        touch(u"plain"_s);
        open(u"plain/settings.dat"_s).CmdSave->click();
        QCOMPARE(m_log.size(), 3); // not created on opening, the bar's timer, not saved
        QVERIFY2(m_log[2].contains(u"not saved"_s), qPrintable(m_log[2]));
        QVERIFY(m_dialog); // still open, for another try
    }

    void startAtLoginChangesOnApplyOnlyAndTheBoxShowsWhatTheSystemHas()
    {
        FrmOptions *dialog = &open();
        QVERIFY(dialog->ChkAutostart->isEnabled() && dialog->LblAutostart->isHidden());
        dialog->ChkAutostart->click();
        dialog->CmdSave->click();
        QVERIFY(autostart::read(m_place).on && m_log.size() == 1); // the timer only
        dialog->ChkAutostart->click();
        dialog->CmdCancel->click(); // the change is dropped
        QVERIFY(autostart::read(m_place).on);
        dialog = &open();
        QVERIFY(dialog->ChkAutostart->isChecked());
        dialog->ChkAutostart->click();
        dialog->CmdSave->click();
        QVERIFY(!autostart::read(m_place).on);
#ifndef Q_OS_WIN
        // The autostart folder cannot be made any more when Apply comes: the
        // user is told, and the box shows what the system has, and why.
        dialog->ChkAutostart->click();
        QVERIFY(QDir(entry(u"config"_s)).removeRecursively());
        touch(u"config"_s);
        dialog->CmdSave->click();
        QVERIFY2(m_log.last().contains(u"could not change"_s), qPrintable(m_log.join(u'\n')));
        QVERIFY(!dialog->ChkAutostart->isChecked() && !dialog->ChkAutostart->isEnabled());
        QVERIFY(dialog->LblAutostart->text().contains(u"write in"_s));
        QVERIFY(!dialog->LblAutostart->isHidden());
#endif
    }

    void eachDialogOpensWholeOnTheBarsScreen()
    {
        const QSize options(489, 422); // with the start-at-login box
        const QRect hd(0, 0, 1920, 1080);
        const QRect small(0, 0, 640, 480);
        const struct
        {
            const char *name;
            QRect screen;
            int barLeft;
            QPoint place;
        } rows[] = {
            // Half the bar's left edge less half the dialog, in twips: 587.5
            // and 329 pixels, whole pixels rounded away from zero.
            {"primary screen below", hd.translated(0, 1080), 1664, {588, 1080 + 329}},
            // The rule alone puts it 53 pixels off the left edge here.
            {"640x480", small, 384, {0, 29}},
            {"bar beyond a small screen's right edge", small, 4000, {640 - 489, 29}},
            {"screen smaller than the dialog", QRect(0, 0, 400, 300), 0, {}},
        };
        for (const auto &[name, screen, barLeft, place] : rows) {
            const QPoint at = dialogplace::keptWhole(dialogplace::options(screen, barLeft, options),
                                                     options, screen);
            QVERIFY2(at == place, name);
        }
        // About is centred on the screen, wherever the bar is on it.
        QCOMPARE(dialogplace::centred(hd.translated(1920, 0), QSize(249, 167)),
                 QPoint(1920 + 836, 457));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
