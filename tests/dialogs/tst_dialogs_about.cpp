#include "frmabout.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT
    QPointer<FrmAbout> m_about;

private Q_SLOTS:
    void cleanup() { delete m_about; }

    void captionsSitOnThePicture_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("color");
        QTest::newRow("the version")
            << QStringLiteral("LblAppVersion") << QStringLiteral("Version 1.0") << QPoint(178, 72)
            << true << QColor(Qt::black);
        QTest::newRow("the first credit line")
            << QStringLiteral("LblInfo01") << QStringLiteral("Written by the QKS Marglet team")
            << QPoint(16, 86) << false << QColor(Qt::black);
        QTest::newRow("the second credit line")
            << QStringLiteral("LblInfo02") << QStringLiteral("Qt 6 edition") << QPoint(16, 102)
            << false << QColor(Qt::black);
        QTest::newRow("the web address, in blue")
            << QStringLiteral("LblURL") << QStringLiteral("www.qks-soft.example") << QPoint(7, 151)
            << false << QColor(0, 0, 255);
    }
    void captionsSitOnThePicture()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(QPoint, position);
        QFETCH(bool, bold);
        QFETCH(QColor, color);
        m_about = new FrmAbout;
        const QLabel *label = m_about->findChild<QLabel *>(control);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->pos(), position);
        QCOMPARE(label->font().bold(), bold);
        QCOMPARE(label->font().pixelSize(), 11);
        QCOMPARE(label->palette().color(QPalette::WindowText), color);
        // Transparent, sized to its text, and no link to follow.
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->size(), label->sizeHint());
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(!label->openExternalLinks());
    }

    void itIsAFixedToolWindowCentredOnTheScreen()
    {
        m_about = new FrmAbout;
        QCOMPARE(m_about->windowTitle(), QStringLiteral("About QKS Marglet"));
        QCOMPARE(m_about->size(), QSize(249, 167));
        QCOMPARE(m_about->minimumSize(), m_about->maximumSize());
        const Qt::WindowFlags flags = m_about->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinMaxButtonsHint));
        QCOMPARE(m_about->backgroundPicture().size(), QSize(250, 167));
        QCOMPARE(m_about->CmdClose->geometry(), QRect(176, 136, 65, 25));
        QCOMPARE(m_about->CmdClose->text(), QStringLiteral("Close"));
        QCOMPARE(m_about->focusWidget(), m_about->CmdClose);

        m_about->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_about));
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY((m_about->frameGeometry().center() - centre).manhattanLength() <= 2);
        // The picture is drawn from the top-left corner.
        const QImage shown = m_about->grab().toImage();
        const QImage picture = m_about->backgroundPicture().toImage();
        QCOMPARE(shown.pixelColor(2, 2), picture.pixelColor(2, 2));
        QCOMPARE(shown.pixelColor(240, 5), picture.pixelColor(240, 5));
    }

    void closingDestroysIt_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("the Close button destroys it") << true;
        QTest::newRow("the close box destroys it") << false;
    }
    void closingDestroysIt()
    {
        QFETCH(bool, byButton);
        m_about = new FrmAbout;
        m_about->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_about));
        if (byButton)
            QTest::mouseClick(m_about->CmdClose, Qt::LeftButton);
        else
            QVERIFY(m_about->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_about.isNull());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_dialogs_about.moc"
