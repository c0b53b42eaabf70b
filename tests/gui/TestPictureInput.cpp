// Pictures the operator already holds: Paste Image (the Scan QR menu, Ctrl+V)
// and a drop on the window, under the offscreen platform, whose clipboard
// works within the process.
#include "BackgroundWorkDone.h"
#include "MainWindow.h"
#include "QrCodeImages.h"
#include "RecordingOperator.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

const QString kSecret = "JBSWY3DPEHPK3PXP";
const std::string kOtpauth = "otpauth://totp/Station:alice?secret=JBSWY3DPEHPK3PXP&issuer=Station";
const QString kEarlierSeed = "MFRGGZDFMZTWQ2LK";
const QString kIncorrect = "Incorrect QR code file!";
const QString kClipboardEmpty =
    "The clipboard holds no picture.\nCopy a QR code picture, or a picture file, and paste again.";

enum class Road
{
    Paste,
    Drop
};

// The code on a transparent ground whose pixels are stored black, as some
// programs copy a picture: read without its transparency, it is black on black.
QImage TransparentCode()
{
    const QImage code = QrCodeImage(kOtpauth);
    QImage picture(code.size(), QImage::Format_ARGB32);
    for (int y = 0; y < code.height(); ++y)
        for (int x = 0; x < code.width(); ++x)
            picture.setPixel(
                x, y, qGray(code.pixel(x, y)) < 128 ? qRgba(0, 0, 0, 255) : qRgba(0, 0, 0, 0));
    return picture;
}

QImage Blank()
{
    QImage blank(300, 300, QImage::Format_RGB32);
    blank.fill(Qt::white);
    return blank;
}

} // namespace

// What a row hands over: a function filling the data, with the test's folder.
using MimeFiller = std::function<void(QMimeData&, const QTemporaryDir&)>;
Q_DECLARE_METATYPE(MimeFiller)
Q_DECLARE_METATYPE(Road)

class TestPictureInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void heldPictureGivesTheSeed_data();
    void heldPictureGivesTheSeed();
    void ctrlVPastesAPictureButLeavesEditsTheirText();

private:
    bool deliver(Road road, QMimeData* data);
    QString seedEditText() const { return m_window->findChild<QLineEdit*>("seedEdit")->text(); }

    QTemporaryDir m_folder;
    RecordingOperator m_operator;
    std::unique_ptr<MainWindow> m_window;
};

void TestPictureInput::init()
{
    QVERIFY(QImage(QrCodeImage(kOtpauth)).save(m_folder.filePath("code.png")));
    QVERIFY(Blank().save(m_folder.filePath("blank.png")));
    QFile notes(m_folder.filePath("notes.png"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture\n");
    notes.close();

    QGuiApplication::clipboard()->clear();
    m_operator.clear();
    m_window = std::make_unique<MainWindow>(m_operator, m_folder.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->setSeedText(kEarlierSeed); // to see it replaced, or kept
    m_operator.clear();
}

void TestPictureInput::cleanup()
{
    m_window.reset();
    QGuiApplication::clipboard()->clear();
}

// Pastes through the menu's entry, or drags over the window and drops, then
// lets the window take up what was dropped. False when the window refused
// the drag, so that nothing was dropped.
bool TestPictureInput::deliver(Road road, QMimeData* data)
{
    if (road == Road::Paste) {
        QGuiApplication::clipboard()->setMimeData(data);
        m_window->findChild<QAction*>("pasteImageAction")->trigger();
        return QTest::qWaitFor([this] { return BackgroundWorkDone(m_window.get()); }, 60000);
    }
    std::unique_ptr<QMimeData> dragged(data); // gone once the drop is answered
    const QPoint middle = m_window->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(middle, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &drop);
    const bool dropped = drop.isAccepted();
    dragged.reset();
    QCoreApplication::sendPostedEvents(m_window.get(), QEvent::MetaCall);
    return QTest::qWaitFor([this] { return BackgroundWorkDone(m_window.get()); }, 60000) && dropped;
}

void TestPictureInput::heldPictureGivesTheSeed_data()
{
    QTest::addColumn<Road>("road");
    QTest::addColumn<MimeFiller>("fill");
    // Empty: the secret is placed. "none": no picture, which a paste says
    // and a drag shows by being refused before anything is dropped.
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shownPath");

    auto file = [](const QString& name) {
        return [name](QMimeData& data, const QTemporaryDir& folder) {
            data.setUrls({QUrl::fromLocalFile(folder.filePath(name))});
        };
    };
    auto picture = [](const QImage& image) {
        return [image](QMimeData& data, const QTemporaryDir&) { data.setImageData(image); };
    };
    const struct
    {
        const char* name;
        MimeFiller fill;
        QString message;
        QString shownPath;
    } rows[] = {
        {"picture data", picture(QrCodeImage(kOtpauth)), "", ""},
        {"transparent picture data stored black", picture(TransparentCode()), "", ""},
        {"picture file", file("code.png"), "", "code.png"},
        {"picture file after a web address",
         [](QMimeData& data, const QTemporaryDir& folder) {
             data.setUrls({QUrl("https://example.org/code.png"),
                           QUrl::fromLocalFile(folder.filePath("code.png"))});
         },
         "", "code.png"},
        {"a file before picture data",
         [](QMimeData& data, const QTemporaryDir& folder) {
             data.setUrls({QUrl::fromLocalFile(folder.filePath("code.png"))});
             data.setImageData(Blank());
         },
         "", "code.png"},
        {"picture data without a code", picture(Blank()), kIncorrect, ""},
        {"picture file without a code", file("blank.png"), kIncorrect, ""},
        {"file that is no picture", file("notes.png"), kIncorrect, ""},
        {"missing file", file("gone.png"), kIncorrect, ""},
        {"text", [](QMimeData& data, const QTemporaryDir&) { data.setText(kSecret); }, "none", ""},
        {"a web address only",
         [](QMimeData& data, const QTemporaryDir&) {
             data.setUrls({QUrl("https://example.org/code.png")});
         },
         "none", ""},
        {"nothing", [](QMimeData&, const QTemporaryDir&) {}, "none", ""},
    };
    for (Road road : {Road::Paste, Road::Drop})
        for (const auto& row : rows)
            QTest::addRow("%s: %s", road == Road::Paste ? "paste" : "drop", row.name)
                << road << row.fill << row.message << row.shownPath;
}

// Both roads read a file like Load Image File and show its path; picture
// data is searched as it is and leaves the path alone. Every failure leaves
// the seed empty, as the other QR commands do.
void TestPictureInput::heldPictureGivesTheSeed()
{
    QFETCH(Road, road);
    QFETCH(MimeFiller, fill);
    QFETCH(QString, message);
    QFETCH(QString, shownPath);

    auto* data = new QMimeData;
    fill(*data, m_folder);
    const bool delivered = deliver(road, data);

    // Without a picture the earlier seed stays.
    if (message == "none") {
        QCOMPARE(delivered, road == Road::Paste);
        QCOMPARE(m_operator.texts(),
                 road == Road::Paste ? QStringList{kClipboardEmpty} : QStringList());
        QCOMPARE(seedEditText(), kEarlierSeed);
        return;
    }
    QVERIFY(delivered);
    const QString seed = message.isEmpty() ? kSecret : QString();
    QCOMPARE(m_operator.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    for (const auto& shown : m_operator.messages())
        QCOMPARE(shown.caption, QString("ERROR"));
    QCOMPARE(seedEditText(), seed);
    QCOMPARE(m_operator.beeps(), seed.isEmpty() ? 0 : 1);
    auto* pathText = m_window->findChild<QLabel*>("seedFilePathText");
    QCOMPARE(pathText->isVisible(), !shownPath.isEmpty());
    QCOMPARE(pathText->text(), shownPath.isEmpty() ? QString() : m_folder.filePath(shownPath));
}

// Ctrl+V in the window pastes the picture; in an edit that takes text it
// pastes the clipboard's text there, as it always has.
void TestPictureInput::ctrlVPastesAPictureButLeavesEditsTheirText()
{
    auto* data = new QMimeData;
    data->setImageData(QrCodeImage(kOtpauth));
    data->setText("alice");
    QGuiApplication::clipboard()->setMimeData(data);

    auto* userName = m_window->findChild<QLineEdit*>("userNameEdit");
    userName->setFocus();
    QTest::keyClick(userName, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(userName->text(), QString("alice"));
    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(m_operator.beeps(), 0);

    auto* clear = m_window->findChild<QPushButton*>("clearButton");
    clear->setFocus();
    QTest::keyClick(clear, Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(BackgroundWorkDone(m_window.get()));
    QCOMPARE(m_operator.texts(), QStringList());
    QCOMPARE(seedEditText(), kSecret);
    QCOMPARE(m_operator.beeps(), 1);
}

QTEST_MAIN(TestPictureInput)
#include "TestPictureInput.moc"
