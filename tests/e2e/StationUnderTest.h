#pragma once

#include "PcscFixture.h"
#include "WindowThreadOperator.h"
#include "gui/MainWindow.h"
#include "seed/Base32.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// The station as the operator meets it: the real main window under the
// offscreen platform, a private pcscd with virtual readers, and virtual tokens
// the test presents and reads back.
class StationUnderTest
{
public:
    // settings: where the window's Journal setting is kept (none: the Data
    // folder's journal).
    explicit StationUnderTest(int readerPairs = 1, QSettings* settings = nullptr)
        : pcsc(readerPairs)
    {
        App();
        window = std::make_unique<MainWindow>(op, data.path());
        window->useSettings(settings);
        window->show();
        window->startReaderMonitor();
    }
    ~StationUnderTest()
    {
        // Before the daemon and the tokens go: the poll may be reading them.
        window.reset();
    }

    // One application for the process, made after the fixture's pcscd and
    // ended by QtApplicationEnvironment once the tests have run (among the
    // static objects at exit it would outlive the platform it runs on).
    static QApplication& App()
    {
        static int argc = 1;
        static char name[] = "station-e2e";
        static char* argv[] = {name, nullptr};
        if (!Instance())
            Instance() = new QApplication(argc, argv);
        return *Instance();
    }
    static QApplication*& Instance()
    {
        static QApplication* app = nullptr;
        return app;
    }

    // Makes the window the active one, so that focus moves as the
    // operator's clicks and keys move it (and an edit left is finished).
    bool activate()
    {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <typename T> T* child(const char* name) const
    {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* labelName) const { return child<QLabel>(labelName)->text(); }
    QPushButton* burnButton() const { return child<QPushButton>("burnButton"); }
    QTreeWidget* log() const { return child<QTreeWidget>("logList"); }
    // The rows of programming attempts, newest first: the rows that name
    // a token (the log also says where a set of export files was opened).
    QList<QTreeWidgetItem*> attemptRows() const
    {
        QList<QTreeWidgetItem*> rows;
        for (int i = 0; i < log()->topLevelItemCount(); ++i)
            if (!log()->topLevelItem(i)->text(1).isEmpty())
                rows << log()->topLevelItem(i);
        return rows;
    }
    QStringList logRow(int index) const
    {
        QStringList cells;
        if (QTreeWidgetItem* row = attemptRows().value(index))
            for (int column = 0; column < row->columnCount(); ++column)
                cells << row->text(column);
        return cells;
    }
    QString counters() const
    {
        return text("totalCount") + "/" + text("successCount") + "/" + text("failCount");
    }

    // Waits, serving the window's events, until condition holds (10 s at most).
    static bool waitFor(const std::function<bool()>& condition)
    {
        return QTest::qWaitFor(condition, 10000);
    }

    // The reader lines: a row per reader, its columns as the window has them.
    enum LineColumn
    {
        ConnectColumn,
        ReaderColumn,
        SerialColumn,
        TokenClockColumn,
        StateColumn,
        TotalColumn,
        SuccessColumn,
        FailColumn,
    };
    QTableWidget* lines() const { return child<QTableWidget>("readerTable"); }
    QString readerName(int slot) const { return QString::fromStdString(pcsc.readerName(slot)); }
    // The row of the reader of slot, -1 while it has none.
    int lineRow(int slot) const
    {
        for (int row = 0; row < lines()->rowCount(); ++row)
            if (QTableWidgetItem* item = lines()->item(row, ReaderColumn);
                item && item->text() == readerName(slot))
                return row;
        return -1;
    }
    QString lineText(int slot, int column) const
    {
        const int row = lineRow(slot);
        QTableWidgetItem* item = row < 0 ? nullptr : lines()->item(row, column);
        return item ? item->text() : QString();
    }
    // total/success/fail of one line
    QString lineCounters(int slot) const
    {
        return lineText(slot, TotalColumn) + "/" + lineText(slot, SuccessColumn) + "/" +
               lineText(slot, FailColumn);
    }
    QCheckBox* connectCheck(int slot) const
    {
        const int row = lineRow(slot);
        return row < 0 ? nullptr
                       : qobject_cast<QCheckBox*>(lines()->cellWidget(row, ConnectColumn));
    }

    // Clicks the Connect check box of the reader of slot, once it is listed;
    // true once the window has served the click.
    bool clickConnect(int slot, bool connected)
    {
        if (!waitFor([&] { return connectCheck(slot) != nullptr; }))
            return false;
        if (connectCheck(slot)->isChecked() != connected)
            connectCheck(slot)->click();
        return waitFor([&] { return window->lines().connected(readerName(slot)) == connected; });
    }
    // Connects the reader of slot, which becomes the chosen line.
    bool connectTo(int slot) { return clickConnect(slot, true); }

    // Presents a token on the reader of slot; true once its line shows it.
    bool present(const std::shared_ptr<VirtualToken>& token, int slot = 0)
    {
        if (!pcsc.insert(slot, token))
            return false;
        const QString serial = QString::fromStdString(token->state().serial);
        return waitFor([&] { return lineText(slot, SerialColumn) == serial; });
    }
    bool lift(int slot = 0)
    {
        return pcsc.remove(slot) && waitFor([&] { return lineText(slot, SerialColumn).isEmpty(); });
    }

    // Presses Burn once it can be pressed. The press runs to its end here.
    bool pressBurn()
    {
        if (!waitFor([&] { return burnButton()->isEnabled(); }))
            return false;
        QTest::mouseClick(burnButton(), Qt::LeftButton);
        return true;
    }

    // Waits for the log to hold rows rows.
    bool waitForRows(int rows)
    {
        return waitFor([&] { return attemptRows().size() >= rows; });
    }

    // Places a seed as the QR import does: seed text, seed edit and bell.
    void setSeed(const QString& seed) { window->setSeedText(seed); }
    QString seedShown() const { return child<QLineEdit>("seedEdit")->text(); }

    static std::shared_ptr<VirtualToken> Token(const std::string& serial, int64_t clockOffset = 0)
    {
        VirtualTokenSettings settings;
        settings.serial = serial;
        settings.clockOffset = clockOffset;
        return std::make_shared<VirtualToken>(settings);
    }

    // The seed bytes a Base32 text stands for, by the strict decoder: not the
    // one the station programs with.
    static std::vector<uint8_t> SeedBytes(const QString& text)
    {
        QString padded = text;
        while (padded.size() % 8 != 0)
            padded += '=';
        const ByteString bytes = DecodeBase32(padded.toStdString());
        return {bytes.begin(), bytes.end()};
    }

    // Lines of the export file with the given suffix (".hex.csv", ...).
    QStringList exportLines(const QString& suffix) const
    {
        const QStringList files =
            QDir(data.path()).entryList({QStringLiteral("*") + suffix}, QDir::Files);
        if (files.size() != 1)
            return {QStringLiteral("expected one file, found %1").arg(files.size())};
        QFile file(QDir(data.path()).filePath(files.first()));
        if (!file.open(QIODevice::ReadOnly))
            return {QStringLiteral("unreadable")};
        return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    PcscFixture pcsc; // first: before any PC/SC call or thread
    WindowThreadOperator op;
    QTemporaryDir data;
    std::unique_ptr<MainWindow> window;
};
