// The seed does not leave the station through the desktop's selection, the
// seed edit keeps no history of an earlier seed, and the seed edit is the
// window's only holder of the seed: on a real X display (Xvfb), where
// selecting text normally hands it to every other program.
#include "MainWindow.h"
#include "RecordingOperator.h"
#include "SeedEdit.h"
#include "XvfbTestMain.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
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
    void anEarlierSeedCannotBeBroughtBack();
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
    m_window->setSeedText(QStringLiteral("JBSWY3DPEHPK3PXP"));
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

// Typed over, deleted or cut, a seed cannot be brought back from the edit:
// it keeps no undo history, whatever made the change, and the operator's
// cursor stays where it was.
void TestSeedSecrecy::anEarlierSeedCannotBeBroughtBack()
{
    auto* seed = m_window->findChild<SeedEdit*>(QStringLiteral("seedEdit"));
    QVERIFY(seed);
    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("editButton")),
                      Qt::LeftButton);
    QTest::keyClicks(seed, QStringLiteral("JBSWY3DPEHPK3PXP"));
    QVERIFY(!seed->isUndoAvailable());

    // Selected and typed over, as the operator replaces a seed.
    QTest::keyClick(seed, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(seed, QStringLiteral("GEZDGNBVGY3TQOJQ"));
    QCOMPARE(seed->text(), QStringLiteral("GEZDGNBVGY3TQOJQ"));
    auto nothingComesBack = [seed](const QString& now) {
        QVERIFY(!seed->isUndoAvailable());
        QVERIFY(!seed->isRedoAvailable());
        for (int i = 0; i < 20; ++i)
            QTest::keyClick(seed, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(seed, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(seed, Qt::Key_Y, Qt::ControlModifier);
        seed->undo();
        QCOMPARE(seed->text(), now);
        std::unique_ptr<QMenu> menu(seed->createStandardContextMenu());
        for (QAction* action : menu->actions())
            if (action->text().contains(QStringLiteral("Undo")) ||
                action->text().contains(QStringLiteral("Redo")))
                QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
    };
    nothingComesBack(QStringLiteral("GEZDGNBVGY3TQOJQ"));

    // Typed in the middle: the cursor stays where the operator types.
    QTest::keyClick(seed, Qt::Key_Home);
    QTest::keyClicks(seed, QStringLiteral("AB"));
    QCOMPARE(seed->cursorPosition(), 2);
    QCOMPARE(seed->text(), QStringLiteral("ABGEZDGNBVGY3TQOJQ"));
    QTest::keyClick(seed, Qt::Key_Delete);
    QTest::keyClick(seed, Qt::Key_Backspace);
    QCOMPARE(seed->text(), QStringLiteral("AEZDGNBVGY3TQOJQ"));
    QCOMPARE(seed->cursorPosition(), 1);
    nothingComesBack(QStringLiteral("AEZDGNBVGY3TQOJQ"));

    // Cut from the context menu's road, then pasted back: the cut text is
    // on the clipboard the operator asked for, not in the edit's history.
    seed->selectAll();
    seed->cut();
    QVERIFY(seed->text().isEmpty());
    nothingComesBack(QString());
    seed->paste();
    QCOMPARE(seed->text(), QStringLiteral("AEZDGNBVGY3TQOJQ"));
    nothingComesBack(QStringLiteral("AEZDGNBVGY3TQOJQ"));
}

namespace {

// The binding lists every field of the window's texts: a field added there
// breaks the build here, so whoever adds one checks it against the seed.
bool AnyTextHolds(const WindowTexts& texts, const QString& seed)
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
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0001"; });
    m_window->refreshTokenView();

    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("editButton")),
                      Qt::LeftButton);
    QTest::keyClicks(seed, QStringLiteral("jbsw-y3dp"));
    QVERIFY(burn->isEnabled());
    QVERIFY(!AnyTextHolds(m_window->texts().copy(), QStringLiteral("jbsw-y3dp")));

    m_window->setSeedText(QStringLiteral("GEZDGNBVGY3TQOJQ"));
    QVERIFY(burn->isEnabled());
    QVERIFY(!AnyTextHolds(m_window->texts().copy(), QStringLiteral("GEZDGNBV")));

    m_window->generateRandomSeed(2);
    const QString random = seed->text();
    QCOMPARE(random.size(), 64);
    QVERIFY(!AnyTextHolds(m_window->texts().copy(), random.left(16)));

    seed->clear();
    QVERIFY(!burn->isEnabled());
}

int main(int argc, char** argv)
{
    return RunQtTestOnXvfb<TestSeedSecrecy>(argc, argv);
}

#include "TestSeedSecrecy.moc"
