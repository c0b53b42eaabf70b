// The real main window under the offscreen platform, its messages recorded.
#include "gui/AboutBox.h"
#include "gui/MainWindow.h"
#include "gui/OutcomeLine.h"
#include "seed/Base32.h"
#include "seed/SeedFile.h"
#include "tests/support/BackgroundWorkDone.h"
#include "tests/support/RecordingOperator.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startState();
    void tabOrder();
    void timingFallbacks_data();
    void timingFallbacks();
    void clearKeepsCounters();
    void randomSeeds_data();
    void randomSeeds();
    void editThenTyping();
    void cancelledSeedFileDialogEmptiesTheSeed();
    void failedSeedFileLoad();
    void seedFileAppliesTheSeedOfTheTokenOnTheReader();
    void userListShowsTheNextUserOrWhyItFailed();
    void tokenRefreshFollowsSerialAndSeed();
    void typedSeedEnablesBurn();
    void readerListFollowsThePlatform();
    void outcomeLineWords_data();
    void outcomeLineWords();
    void seedPlacedFromAnotherThread();
    void enterAndEscCloseTheWindow_data();
    void enterAndEscCloseTheWindow();
    void aboutBox();

private:
    template <typename T> T* find(const char* name)
    {
        T* child = m_window->findChild<T*>(QLatin1String(name));
        if (!child)
            qFatal("no %s in the window", name);
        return child;
    }
    // Runs work on a thread of its own, as the poll does, serving the
    // window's thread meanwhile.
    void showActive();
    void onWorker(const std::function<void()>& work);
    QString writeFile(const QByteArray& bytes);
    QString seedEditText() { return find<QLineEdit>("seedEdit")->text(); }
    bool seedFileSourceEnabled()
    {
        auto* model =
            qobject_cast<QStandardItemModel*>(find<QComboBox>("autoSourceCombo")->model());
        return model->item(2)->isEnabled();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingOperator> m_operator;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_operator = std::make_unique<RecordingOperator>();
    m_window = std::make_unique<MainWindow>(*m_operator, m_dir->filePath(QStringLiteral("Data")));
}

// Shown, the window starts watching the readers; only the tests of keys and
// focus need it on screen.
void TestMainWindow::showActive()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_operator.reset();
    m_dir.reset();
}

void TestMainWindow::onWorker(const std::function<void()>& work)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    worker.join();
}

QString TestMainWindow::writeFile(const QByteArray& bytes)
{
    static int count = 0;
    const QString path = m_dir->filePath(QStringLiteral("seeds-%1.csv").arg(++count));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestMainWindow::startState()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Zentoka/Pelarin Programmer"));
    QVERIFY(!find<QPushButton>("burnButton")->isEnabled());
    QVERIFY(!find<QPushButton>("testButton")->isEnabled());
    QVERIFY(find<QCheckBox>("syncClockCheck")->isChecked());
    QVERIFY(!find<QCheckBox>("exportCheck")->isChecked());
    for (const char* radio : {"step30Radio", "sha1Radio", "display30Radio"})
        QVERIFY2(find<QRadioButton>(radio)->isChecked(), radio);
    for (const char* radio :
         {"step60Radio", "sha256Radio", "display15Radio", "display60Radio", "display120Radio"})
        QVERIFY2(!find<QRadioButton>(radio)->isChecked(), radio);
    for (const char* counter : {"totalCount", "successCount", "failCount"})
        QCOMPARE(find<QLabel>(counter)->text(), QStringLiteral("0"));

    auto* seedEdit = find<QLineEdit>("seedEdit");
    QVERIFY(seedEdit->isReadOnly());
    QVERIFY(seedEdit->text().isEmpty());
    QVERIFY(find<QPushButton>("sealButton")->isHidden());
    QVERIFY(find<QLabel>("seedFileLabel")->isHidden());
    QVERIFY(find<QLabel>("seedFilePathText")->isHidden());
    QCOMPARE(find<QTableWidget>("readerTable")->rowCount(), 0);
    QVERIFY(!find<QCheckBox>("autoProgramCheck")->isChecked());
    QCOMPARE(find<QComboBox>("autoSourceCombo")->currentIndex(), 0);
    QVERIFY(!seedFileSourceEnabled());
    QVERIFY(find<QLabel>("outcomeText")->text().isEmpty());
    // The form's placeholders are gone.
    for (const char* text : {"serialNumberText", "tokenClockText", "computerClockText", "tipsText"})
        QVERIFY2(find<QLabel>(text)->text().isEmpty(), text);

    auto* log = find<QTreeWidget>("logList");
    QCOMPARE(log->columnCount(), 5);
    const QStringList titles{"Time", "Serial Number", "User Name", "Result", "Reader"};
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(log->headerItem()->text(column), titles[column]);
        QCOMPARE(log->headerItem()->textAlignment(column), int(Qt::AlignCenter));
    }
    QVERIFY(!find<QCheckBox>("sameUserCheck")->isChecked());
    QVERIFY(find<QLabel>("userListText")->text().isEmpty());

    const struct
    {
        const char* button;
        QStringList items;
    } splits[] = {{"randomButton", {"32 Chars", "64 Chars"}},
                  {"scanQrButton", {"Scan Screen", "Load Image File", "Paste Image"}}};
    for (const auto& split : splits) {
        auto* button = find<QToolButton>(split.button);
        QCOMPARE(button->popupMode(), QToolButton::MenuButtonPopup);
        QVERIFY(button->menu());
        QStringList items;
        for (QAction* action : button->menu()->actions())
            items << action->text();
        QCOMPARE(items, split.items);
    }
}

void TestMainWindow::tabOrder()
{
    const QStringList expected{
        "loadSeedFileButton", "burnButton",       "clearButton",     "readerTable",
        "sealButton",         "step30Radio",      "step60Radio",     "sha1Radio",
        "sha256Radio",        "display15Radio",   "display30Radio",  "display60Radio",
        "display120Radio",    "randomButton",     "seedEdit",        "editButton",
        "syncClockCheck",     "scanQrButton",     "testButton",      "userNameEdit",
        "exportCheck",        "autoProgramCheck", "autoSourceCombo", "logList"};
    QStringList chain;
    QWidget* widget = find<QWidget>("loadSeedFileButton");
    do {
        if (expected.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget->objectName() != QLatin1String("loadSeedFileButton"));
    QCOMPARE(chain, expected);
}

void TestMainWindow::timingFallbacks_data()
{
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<int>("timeStep");
    QTest::addColumn<int>("displayTime");
    QTest::addColumn<QString>("algorithm");

    QTest::newRow("start") << QStringList{"step30Radio", "sha1Radio", "display30Radio"} << 30 << 30
                           << "SHA1";
    QTest::newRow("other choices")
        << QStringList{"step60Radio", "sha256Radio", "display120Radio"} << 60 << 120 << "SHA256";
    QTest::newRow("15 and 60") << QStringList{"display15Radio"} << 60 << 15 << "SHA256";
    QTest::newRow("60") << QStringList{"display60Radio"} << 60 << 60 << "SHA256";
    QTest::newRow("nothing checked") << QStringList{} << 60 << 120 << "SHA256";
    QTest::newRow("first display time wins")
        << QStringList{"display15Radio", "display60Radio"} << 60 << 15 << "SHA256";
}

// Every group falls back to its last choice when its first is not checked.
void TestMainWindow::timingFallbacks()
{
    QFETCH(QStringList, checked);
    for (const char* group : {"timeWindowGroup", "algorithmGroup", "displayTimeGroup"})
        find<QButtonGroup>(group)->setExclusive(false);
    for (QRadioButton* radio : m_window->findChildren<QRadioButton*>())
        radio->setChecked(checked.contains(radio->objectName()));

    const TimingOptions timing = m_window->readTimingOptions();
    QTEST(timing.timeStep, "timeStep");
    QTEST(timing.displayTime, "displayTime");
    QTEST(QString::fromLatin1(timing.algorithmName), "algorithm");
}

void TestMainWindow::clearKeepsCounters()
{
    m_window->recordAttempt(QStringLiteral("Reader A"), QStringLiteral("ZP0001"), QString(),
                            QStringLiteral("Failed"));
    m_window->recordAttempt(QStringLiteral("Reader B"), QStringLiteral("ZP0002"),
                            QStringLiteral("bob"), QStringLiteral("Succeeded"));
    auto* log = find<QTreeWidget>("logList");
    QCOMPARE(log->topLevelItemCount(), 2);
    // newest on top
    QCOMPARE(log->topLevelItem(0)->text(1), QStringLiteral("ZP0002"));
    QCOMPARE(log->topLevelItem(0)->text(2), QStringLiteral("bob"));
    QCOMPARE(log->topLevelItem(0)->text(4), QStringLiteral("Reader B")); // the line it came from
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d $"))
                .match(log->topLevelItem(0)->text(0))
                .hasMatch());
    const QString total = find<QLabel>("totalCount")->text();

    QTest::mouseClick(find<QPushButton>("clearButton"), Qt::LeftButton);
    QCOMPARE(log->topLevelItemCount(), 0);
    QCOMPARE(find<QLabel>("totalCount")->text(), total);
}

void TestMainWindow::randomSeeds_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("characters");
    QTest::newRow("main part") << "randomButton" << 32;
    QTest::newRow("32 Chars") << "random32Action" << 32;
    QTest::newRow("64 Chars") << "random64Action" << 64;
}

void TestMainWindow::randomSeeds()
{
    QFETCH(QString, source);
    QFETCH(int, characters);
    if (source == QLatin1String("randomButton"))
        QTest::mouseClick(find<QToolButton>("randomButton"), Qt::LeftButton, {}, QPoint(8, 8));
    else
        find<QAction>(qPrintable(source))->trigger();

    const QString seed = seedEditText();
    QCOMPARE(seed.size(), characters);
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Z2-7]+$")).match(seed).hasMatch());
    const QByteArray text = seed.toLatin1();
    uint8_t bytes[64] = {};
    QCOMPARE(Base32ToBytes(text.constData(), bytes, sizeof bytes), characters * 5 / 8);
    QCOMPARE(DecodeBase32(text.toStdString()).size(), size_t(characters * 5 / 8));
    QCOMPARE(m_operator->beeps(), 1);
    QVERIFY(find<QPushButton>("testButton")->isEnabled());
}

// Typing needs Edit first; the edit keeps what was typed, the seed that is
// used is its normal form.
void TestMainWindow::editThenTyping()
{
    auto* seedEdit = find<QLineEdit>("seedEdit");
    auto* testButton = find<QPushButton>("testButton");
    seedEdit->setFocus();
    QTest::keyClicks(seedEdit, QStringLiteral("abc"));
    QVERIFY(seedEdit->text().isEmpty());

    QTest::mouseClick(find<QPushButton>("editButton"), Qt::LeftButton);
    QVERIFY(!seedEdit->isReadOnly());
    QTest::keyClicks(seedEdit, QStringLiteral("abcd-efgh-ijkl-mnop"));
    QVERIFY(testButton->isEnabled());
    QCOMPARE(seedEdit->text(), QStringLiteral("abcd-efgh-ijkl-mnop"));

    QTest::keyClick(seedEdit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(seedEdit, Qt::Key_Backspace);
    QVERIFY(!testButton->isEnabled());
    QVERIFY2(!seedEdit->isReadOnly(), "stays writable");
}

void TestMainWindow::cancelledSeedFileDialogEmptiesTheSeed()
{
    m_window->generateRandomSeed(1);
    QTest::mouseClick(find<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QCOMPARE(m_operator->filters(), QStringList{"CSV Files (*.csv);;All Files (*)"});
    QVERIFY(seedEditText().isEmpty());
    QVERIFY(!find<QPushButton>("testButton")->isEnabled());
    QVERIFY(m_operator->messages().empty());
    QVERIFY(find<QLabel>("seedFileLabel")->isHidden());
}

// A refused line fails the load with the loader's reason; the seed stays
// empty, and the file loaded before stays in use, as its path on display
// says: none of the failed file's lines reach a token.
void TestMainWindow::failedSeedFileLoad()
{
    const QString earlier = writeFile("ZP0009,MZXW6===\n");
    m_operator->answerNextFileDialog(earlier);
    QTest::mouseClick(find<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QVERIFY(m_operator->messages().empty());

    m_operator->answerNextFileDialog(writeFile("ZP0001,JBSWY3DPEHPK3PXP\nZP0002,jbswy3dp\n"));
    m_window->generateRandomSeed(1);
    QTest::mouseClick(find<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));

    const auto messages = m_operator->messages();
    QCOMPARE(messages.size(), size_t(1));
    SeedFileResult badLine;
    badLine.status = SeedFileStatus::BadSeed;
    badLine.line = 2;
    QCOMPARE(messages[0].text, QStringLiteral("Failed to load seed file!\n") + badLine.message());
    QCOMPARE(messages[0].caption, QStringLiteral("ERROR"));
    QVERIFY(seedEditText().isEmpty());
    QCOMPARE(find<QLabel>("seedFilePathText")->text(), earlier);

    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0001"; });
    m_window->selectSeedForSerial();
    QVERIFY(seedEditText().isEmpty());
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0009"; });
    m_window->selectSeedForSerial();
    QCOMPARE(seedEditText(), QStringLiteral("MZXW6==="));
}

void TestMainWindow::seedFileAppliesTheSeedOfTheTokenOnTheReader()
{
    const QString path = writeFile(
        "ZP0001,JBSWY3DPEHPK3PXP\r\nZP0002,GEZDGNBVGY3TQOJQ\r\nZP0003,MZXW6===,ana@example.org");

    // An unlisted token on the reader: the seed stays empty.
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0009"; });
    m_operator->answerNextFileDialog(path);
    QTest::mouseClick(find<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QVERIFY(m_operator->messages().empty());
    QVERIFY(seedEditText().isEmpty());
    QCOMPARE(m_operator->beeps(), 0);
    QVERIFY(!find<QLabel>("seedFileLabel")->isHidden());
    QCOMPARE(find<QLabel>("seedFilePathText")->text(), path);
    QVERIFY(seedFileSourceEnabled()); // auto-programming may take the file's seeds now

    // A listed token: its seed at once, with the bell.
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0002"; });
    m_operator->answerNextFileDialog(path);
    QTest::mouseClick(find<QPushButton>("loadSeedFileButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QCOMPARE(seedEditText(), QStringLiteral("GEZDGNBVGY3TQOJQ"));
    QCOMPARE(m_operator->beeps(), 1);

    // The next tokens, read on the poll thread.
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0003"; });
    onWorker([this] { m_window->selectSeedForSerial(); });
    QCOMPARE(seedEditText(), QStringLiteral("MZXW6==="));
    // The file names this token's user: Burn takes it from the user name.
    QCOMPARE(find<QLineEdit>("userNameEdit")->text(), QStringLiteral("ana@example.org"));
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0004"; });
    onWorker([this] { m_window->selectSeedForSerial(); });
    // an unlisted token keeps the last seed
    QCOMPARE(seedEditText(), QStringLiteral("MZXW6==="));
    QCOMPARE(m_operator->beeps(), 2);
}

// A user list that loads shows its first user and its count; one that fails
// says why and leaves the list before it in place.
void TestMainWindow::userListShowsTheNextUserOrWhyItFailed()
{
    auto* next = find<QLabel>("userListText");
    m_operator->answerNextFileDialog(writeFile("ana@example.org\r\nbob@example.org\r\n"));
    QTest::mouseClick(find<QPushButton>("loadUserListButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QCOMPARE(m_operator->filters().last(), QStringLiteral("Text Files (*.txt);;All Files (*)"));
    QVERIFY(m_operator->messages().empty());
    QCOMPARE(next->text(), QStringLiteral("Next user: ana@example.org (2 left)"));

    m_operator->answerNextFileDialog(writeFile("carl@example.org\n=cmd|x\n"));
    QTest::mouseClick(find<QPushButton>("loadUserListButton"), Qt::LeftButton);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    const auto messages = m_operator->messages();
    QCOMPARE(messages.size(), size_t(1));
    QVERIFY2(messages[0].text.startsWith(QStringLiteral("Failed to load user list!\nLine 2 ")),
             qPrintable(messages[0].text));
    QCOMPARE(messages[0].caption, QStringLiteral("ERROR"));
    QCOMPARE(next->text(), QStringLiteral("Next user: ana@example.org (2 left)"));
}

void TestMainWindow::tokenRefreshFollowsSerialAndSeed()
{
    auto* burn = find<QPushButton>("burnButton");
    m_window->texts().update([](WindowTexts& texts) {
        texts.serialNumber = "ZP0001";
        texts.tokenClock = "2019-12-16 23:21:22";
        texts.computerClock = "2024-03-05 07:07:06";
        texts.tips = "Token or card detected";
    });
    m_window->refreshTokenView();
    QTRY_COMPARE(find<QLabel>("serialNumberText")->text(), QStringLiteral("ZP0001"));
    QCOMPARE(find<QLabel>("tokenClockText")->text(), QStringLiteral("2019-12-16 23:21:22"));
    QCOMPARE(find<QLabel>("computerClockText")->text(), QStringLiteral("2024-03-05 07:07:06"));
    QCOMPARE(find<QLabel>("tipsText")->text(), QStringLiteral("Token or card detected"));
    QVERIFY2(!burn->isEnabled(), "no seed yet");

    m_window->generateRandomSeed(1);
    m_window->refreshTokenView();
    QTRY_VERIFY(burn->isEnabled());

    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber.clear(); });
    m_window->refreshTokenView();
    QTRY_VERIFY(!burn->isEnabled());
}

// The typed road: a seed typed after Edit arms Burn for a token on the reader
// just as a placed seed does, and emptying the edit disarms it again.
void TestMainWindow::typedSeedEnablesBurn()
{
    auto* burn = find<QPushButton>("burnButton");
    auto* edit = find<QLineEdit>("seedEdit");
    m_window->texts().update([](WindowTexts& texts) { texts.serialNumber = "ZP0002"; });
    m_window->refreshTokenView();
    QTRY_COMPARE(find<QLabel>("serialNumberText")->text(), QStringLiteral("ZP0002"));
    QVERIFY(!burn->isEnabled());

    QTest::mouseClick(find<QPushButton>("editButton"), Qt::LeftButton);
    QTest::keyClicks(edit, QStringLiteral("jbsw-y3dp"));
    QCOMPARE(edit->text(), QStringLiteral("jbsw-y3dp"));
    QTRY_VERIFY(burn->isEnabled());

    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTRY_VERIFY(!burn->isEnabled());
}

// The lines as the platform reports the readers: new readers at the end,
// gone ones dropped, the choice always the operator's.
void TestMainWindow::readerListFollowsThePlatform()
{
    auto* table = find<QTableWidget>("readerTable");
    auto names = [table] {
        QStringList shown;
        for (int row = 0; row < table->rowCount(); ++row)
            shown << table->item(row, 1)->text();
        return shown;
    };
    auto tips = [this] { return find<QLabel>("tipsText")->text(); };
    m_window->updateReaderList(QStringLiteral("Reader A[E]Reader B[E]"));
    QCOMPARE(names(), (QStringList{"Reader A", "Reader B"}));
    QCOMPARE(table->currentRow(), -1); // the first reader is not chosen for the operator
    QCOMPARE(tips(), QStringLiteral("Please select a card reader."));
    for (int row = 0; row < 2; ++row) {
        auto* check = qobject_cast<QCheckBox*>(table->cellWidget(row, 0));
        QVERIFY(check && !check->isChecked());
        QCOMPARE(check->text(), QStringLiteral("Connect"));
    }

    table->setCurrentCell(1, 1);
    QCOMPARE(m_window->lines().current(), QStringLiteral("Reader B"));
    m_window->updateReaderList(QStringLiteral("Reader B[E]Reader C[E]"));
    QCOMPARE(names(), (QStringList{"Reader B", "Reader C"}));
    QCOMPARE(table->currentRow(), 0);
    QCOMPARE(m_window->lines().current(), QStringLiteral("Reader B"));

    // The chosen reader goes: none is chosen, and the operator is asked.
    m_window->updateReaderList(QStringLiteral("Reader C[E]"));
    QCOMPARE(names(), QStringList{"Reader C"});
    QCOMPARE(table->currentRow(), -1);
    QVERIFY(m_window->lines().current().isEmpty());
    QCOMPARE(tips(), QStringLiteral("Please select a card reader."));

    m_window->updateReaderList(QString());
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(tips(), QStringLiteral("No card reader detected."));

    // No list at all (no service): the lines of readers not connected go.
    m_window->updateReaderList(QStringLiteral("Reader A[E]"));
    m_window->handleReaderListFailure();
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(find<QLabel>("serialNumberText")->text(), QString());
}

void TestMainWindow::outcomeLineWords_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("again");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tone");
    using R = TokenOutcome::Result;
    using T = OutcomeLine::Tone;
    QTest::newRow("programmed") << int(R::Programmed) << "ZP01" << false << ""
                                << "Programmed ZP01 on Reader A" << int(T::Good);
    QTest::newRow("programmed again")
        << int(R::Programmed) << "ZP01" << true << ""
        << QStringLiteral("Programmed ZP01 on Reader A \u2014 programmed again") << int(T::Good);
    QTest::newRow("not recorded")
        << int(R::NotRecorded) << "ZP01" << false << "The .b32.csv file\nis missing."
        << "Programmed ZP01 on Reader A, not recorded: The .b32.csv file is missing."
        << int(T::Warning);
    QTest::newRow("failed") << int(R::Failed) << "ZP01" << false << "Wrong key.\n\nTry again."
                            << "Failed ZP01: Wrong key. Try again." << int(T::Bad);
    QTest::newRow("failed, no token read")
        << int(R::Failed) << "" << false << "No token."
        << "Failed the token on Reader A: No token." << int(T::Bad);
}

void TestMainWindow::outcomeLineWords()
{
    QFETCH(int, result);
    QFETCH(QString, serial);
    QFETCH(bool, again);
    QFETCH(QString, reason);
    QFETCH(QString, text);
    QFETCH(int, tone);
    TokenOutcome outcome;
    outcome.readerName = QStringLiteral("Reader A");
    outcome.serialNumber = serial;
    outcome.result = TokenOutcome::Result(result);
    outcome.again = again;
    outcome.reason = reason;
    const OutcomeLine line = DescribeOutcome(outcome);
    QCOMPARE(line.text, text);
    QCOMPARE(int(line.tone), tone);
}

// The seed sources may place a seed from any thread; the edit shows it.
void TestMainWindow::seedPlacedFromAnotherThread()
{
    onWorker([this] { m_window->generateRandomSeed(2); });
    QCOMPARE(seedEditText().size(), 64);
}

void TestMainWindow::enterAndEscCloseTheWindow_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Esc") << "autoSourceCombo" << int(Qt::Key_Escape) << true;
    QTest::newRow("Enter in the user name") << "userNameEdit" << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter on a check box") << "exportCheck" << int(Qt::Key_Enter) << true;
    QTest::newRow("Enter on a button presses it")
        << "loadSeedFileButton" << int(Qt::Key_Return) << false;
}

void TestMainWindow::enterAndEscCloseTheWindow()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, closes);
    showActive();
    QWidget* target = find<QWidget>(qPrintable(focus));
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QTest::keyClick(target, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QCOMPARE(m_window->isVisible(), !closes);
    if (!closes)
        QCOMPARE(m_operator->filters().size(), 1);
}

// Linux desktops give the dialog no system menu: F1 and the window's
// context menu open the About box.
void TestMainWindow::aboutBox()
{
    auto* about = find<QAction>("aboutAction");
    QCOMPARE(about->text(), QStringLiteral("About..."));
    QCOMPARE(about->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(m_window->contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(m_window->actions().contains(about));

    showActive();
    QTest::keyClick(m_window.get(), Qt::Key_F1);
    AboutBox* box = nullptr;
    QTRY_VERIFY((box = m_window->findChild<AboutBox*>()) && box->isVisible());
    QCOMPARE(box->windowTitle(), QStringLiteral("Zentoka/Pelarin"));
    QCOMPARE(box->findChild<QLabel*>(QStringLiteral("versionText"))->text(),
             QStringLiteral("Zentoka/Pelarin 1.1"));
    QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    QTRY_VERIFY(!m_window->findChild<AboutBox*>());
    QVERIFY(m_window->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
