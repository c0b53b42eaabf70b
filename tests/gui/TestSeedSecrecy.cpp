// The seed does not leave the station through the desktop's selection, what
// was typed does not stay in the undo history, and the seed edit is the
// window's only holder of the seed: on a real X display (Xvfb), where
// selecting text normally hands it to every other program.
#include "MainWindow.h"
#include "RecordingOperator.h"
#include "SeedEdit.h"
#include "XvfbServer.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

class TestSeedSecrecy : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void selectingTheSeedPublishesNothing_data();
    void selectingTheSeedPublishesNothing();
    void typedHistoryGoesWhenTheSeedIsReplacedOrTaken();
    void windowTextsHoldNoSeed();

private:
    QTemporaryDir m_data;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
};

void TestSeedSecrecy::init()
{
    m_window = std::make_unique<MainWindow>(m_operator, m_data.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->activateWindow();
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
}

void TestSeedSecrecy::cleanup()
{
    m_window.reset();
}

void TestSeedSecrecy::selectingTheSeedPublishesNothing_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("published");
    // The user name is no secret: it shows that this display does publish.
    QTest::newRow("user name, keys") << "userNameEdit"
                                     << "keys" << true;
    QTest::newRow("seed, keys") << "seedEdit"
                                << "keys" << false;
    QTest::newRow("seed, double click") << "seedEdit"
                                        << "double click" << false;
    QTest::newRow("seed, mouse drag") << "seedEdit"
                                      << "drag" << false;
}

void TestSeedSecrecy::selectingTheSeedPublishesNothing()
{
    QFETCH(QString, edit);
    QFETCH(QString, how);
    QFETCH(bool, published);
    m_window->SetSeedText(QStringLiteral("JBSWY3DPEHPK3PXP"));
    auto* target = m_window->findChild<QLineEdit*>(edit);
    QVERIFY(target);
    if (edit == QLatin1String("userNameEdit"))
        target->setText(QStringLiteral("JBSWY3DPEHPK3PXP"));
    target->setFocus();

    if (how == QLatin1String("keys")) {
        QTest::keyClick(target, Qt::Key_Home);
        QTest::keyClick(target, Qt::Key_End, Qt::ShiftModifier);
    } else if (how == QLatin1String("double click")) {
        QTest::mouseDClick(target, Qt::LeftButton, {}, QPoint(20, target->height() / 2));
    } else {
        const int y = target->height() / 2;
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(2, y));
        QMouseEvent move(QEvent::MouseMove, QPointF(target->width() - 4, y),
                         target->mapToGlobal(QPointF(target->width() - 4, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(target->width() - 4, y));
    }
    QVERIFY(target->hasSelectedText());
    QCoreApplication::processEvents();

    QClipboard* clipboard = QGuiApplication::clipboard();
    QVERIFY(clipboard->supportsSelection());
    QCOMPARE(clipboard->ownsSelection(), published);
    QCOMPARE(clipboard->text(QClipboard::Selection).contains(QStringLiteral("JBSW")), published);
}

void TestSeedSecrecy::typedHistoryGoesWhenTheSeedIsReplacedOrTaken()
{
    auto* seed = m_window->findChild<SeedEdit*>(QStringLiteral("seedEdit"));
    QVERIFY(seed);
    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("editButton")),
                      Qt::LeftButton);
    QTest::keyClicks(seed, QStringLiteral("JBSWY3DP"));
    QVERIFY(seed->isUndoAvailable());

    seed->forgetHistory(); // as a Burn or Test press does when it takes the seed
    QVERIFY(!seed->isUndoAvailable());
    QCOMPARE(seed->text(), QStringLiteral("JBSWY3DP"));

    QTest::keyClicks(seed, QStringLiteral("EHPK"));
    QVERIFY(seed->isUndoAvailable());
    m_window->SetSeedText(QStringLiteral("GEZDGNBVGY3TQOJQ")); // replaced by a source
    QVERIFY(!seed->isUndoAvailable());
}

namespace {

// The binding lists every field of the window's texts: a field added there
// breaks the build here, so whoever adds one checks it against the seed.
bool AnyTextHolds(const ConsoleTexts& texts, const QString& seed)
{
    const auto& [serialNumber, tokenClock, computerClock, tips, seedFilePath, userName] = texts;
    for (const QString* text :
         {&serialNumber, &tokenClock, &computerClock, &tips, &seedFilePath, &userName})
        if (text->contains(seed, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

// Typed, placed by a source, replaced, cleared: the seed is in the edit and
// nowhere in the window's texts, and Burn still follows it.
void TestSeedSecrecy::windowTextsHoldNoSeed()
{
    auto* seed = m_window->findChild<SeedEdit*>(QStringLiteral("seedEdit"));
    auto* burn = m_window->findChild<QPushButton*>(QStringLiteral("burnButton"));
    QVERIFY(seed && burn);
    m_window->state().update([](ConsoleTexts& texts) { texts.serialNumber = "ZP0001"; });
    m_window->OnTokenRefresh();

    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("editButton")),
                      Qt::LeftButton);
    QTest::keyClicks(seed, QStringLiteral("jbsw-y3dp"));
    QVERIFY(burn->isEnabled());
    QVERIFY(!AnyTextHolds(m_window->state().texts(), QStringLiteral("jbsw-y3dp")));

    m_window->SetSeedText(QStringLiteral("GEZDGNBVGY3TQOJQ"));
    QVERIFY(burn->isEnabled());
    QVERIFY(!AnyTextHolds(m_window->state().texts(), QStringLiteral("GEZDGNBV")));

    m_window->GenerateRandomSeed(2);
    const QString random = seed->text();
    QCOMPARE(random.size(), 64);
    QVERIFY(!AnyTextHolds(m_window->state().texts(), random.left(16)));

    seed->clear();
    QVERIFY(!burn->isEnabled());
}

int main(int argc, char** argv)
{
    XvfbServer xvfb;
    if (const QString error = xvfb.start(); !error.isEmpty()) {
        std::fprintf(stderr, "cannot start the X server for this test: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("DISPLAY", xvfb.display().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QApplication app(argc, argv);
    TestSeedSecrecy test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSeedSecrecy.moc"
