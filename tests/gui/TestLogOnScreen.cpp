// The log as the operator sees it on a real X display (Xvfb): at the
// window's own size every column is on screen, no scrolling needed, and the
// usual texts of a row and the column titles show whole, at any font size.
#include "MainWindow.h"
#include "RecordingOperator.h"
#include "XvfbTestMain.h"

#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <cstdio>

class TestLogOnScreen : public QObject
{
    Q_OBJECT

private slots:
    void everyColumnShowsAtTheWindowsSize_data();
    void everyColumnShowsAtTheWindowsSize();
};

void TestLogOnScreen::everyColumnShowsAtTheWindowsSize_data()
{
    QTest::addColumn<qreal>("fontScale");
    QTest::newRow("the desktop's font") << 1.0;
    QTest::newRow("a font a third larger") << 4.0 / 3.0;
}

void TestLogOnScreen::everyColumnShowsAtTheWindowsSize()
{
    QFETCH(qreal, fontScale);
    const QFont desktopFont = QApplication::font();
    QFont font = desktopFont;
    font.setPointSizeF(desktopFont.pointSizeF() * fontScale);
    QApplication::setFont(font);

    QTemporaryDir data;
    RecordingOperator op;
    MainWindow window(op, data.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QStringList rows[] = {
        {"Virtual PCD 00 00", "KN00123576", "first.last@example.org", "Succeeded"},
        {"Virtual PCD 00 01", "TK0001", "", "Succeeded, programmed again"},
    };
    for (const QStringList& row : rows)
        window.recordAttempt(row[0], row[1], row[2], row[3]);
    QCoreApplication::processEvents();

    // The window fits its screen, and the log fits the window.
    const QRect screen = window.screen()->availableGeometry();
    QVERIFY2(window.frameGeometry().width() <= screen.width(),
             qPrintable(QStringLiteral("%1 wide on a screen of %2")
                            .arg(window.frameGeometry().width())
                            .arg(screen.width())));
    auto* log = window.findChild<QTreeWidget*>(QStringLiteral("logList"));
    QVERIFY(log && log->isVisible());
    QVERIFY(window.rect().contains(QRect(log->mapTo(&window, QPoint(0, 0)), log->size())));

    // Every column lies inside the log's view: nothing to scroll to.
    QVERIFY(!log->horizontalScrollBar()->isVisible());
    QHeaderView* header = log->header();
    const int viewWidth = log->viewport()->width();
    const QFontMetrics titles(header->font());
    const QFontMetrics cells(log->font());
    const int headerMargin = log->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const int cellMargin =
        log->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, log) + 1;
    for (int column = 0; column < log->columnCount(); ++column) {
        const QString title = log->headerItem()->text(column);
        const int left = header->sectionViewportPosition(column);
        const int width = header->sectionSize(column);
        QVERIFY2(!header->isSectionHidden(column), qPrintable(title));
        QVERIFY2(left >= 0 && left + width <= viewWidth,
                 qPrintable(QStringLiteral("%1 at %2, %3 wide, in a view %4 wide")
                                .arg(title)
                                .arg(left)
                                .arg(width)
                                .arg(viewWidth)));
        QVERIFY2(titles.horizontalAdvance(title) + 2 * headerMargin <= width, qPrintable(title));
        // The row's texts whole, not shortened.
        for (int index = 0; index < log->topLevelItemCount(); ++index) {
            const QString text = log->topLevelItem(index)->text(column);
            QVERIFY2(
                cells.horizontalAdvance(text) + 2 * cellMargin <= width,
                qPrintable(QStringLiteral("%1: \"%2\" in %3 pixels").arg(title, text).arg(width)));
        }
    }
    QApplication::setFont(desktopFont);
}

int main(int argc, char** argv)
{
    // A screen of a small laptop: the window's own size must fit it.
    return RunQtTestOnXvfb<TestLogOnScreen>(argc, argv, {{1366, 768, 24}});
}

#include "TestLogOnScreen.moc"
