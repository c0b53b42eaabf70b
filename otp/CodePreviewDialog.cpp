#include "otp/CodePreviewDialog.h"

#include "otp/CodeWindow.h"
#include "seed/Base32.h"
#include "seed/ByteString.h"
#include "seed/SecretText.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

namespace {

enum Column
{
    TimeColumn = 0,
    CodeColumn = 1
};

// The UTF-8 bytes of a seed are key material: wipe them once decoded.
struct WipedUtf8
{
    explicit WipedUtf8(const QString& text) : bytes(text.toUtf8()) {}
    ~WipedUtf8() { WipeMemory(bytes.data(), static_cast<size_t>(bytes.size())); }
    QByteArray bytes;
};

} // namespace

CodePreviewDialog::CodePreviewDialog(const QString& seed, uint64_t timeStep, int digits,
                                     OtpAlgorithm algorithm, QWidget* parent)
    : QDialog(parent), m_seed(seed), m_timeStep(timeStep), m_digits(digits), m_algorithm(algorithm),
      m_caption(new QLabel(this)), m_otpList(new QTreeWidget(this))
{
    setObjectName("otpDialog");
    setWindowTitle(tr("One-Time Password"));

    // A token configured with another algorithm or step shows other codes, so
    // the list says which ones it holds.
    m_caption->setObjectName("otpCaption");
    m_caption->setText(tr("%1, %2 s time step").arg(AlgorithmName(algorithm)).arg(timeStep));
    m_caption->setAlignment(Qt::AlignCenter);

    m_otpList->setObjectName("otpList");
    m_otpList->setRootIsDecorated(false);
    m_otpList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_otpList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_otpList->setHeaderLabels({tr("Time"), tr("OTP")});
    m_otpList->headerItem()->setTextAlignment(TimeColumn, Qt::AlignCenter);
    m_otpList->headerItem()->setTextAlignment(CodeColumn, Qt::AlignCenter);
    m_otpList->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_otpList->header()->setSectionsMovable(false);
    m_otpList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_caption);
    layout->addWidget(m_otpList);
}

CodePreviewDialog::~CodePreviewDialog()
{
    WipeText(m_seed);
}

QString CodePreviewDialog::FillCodeList(uint64_t now)
{
    ByteString key;
    try {
        const WipedUtf8 seed(m_seed);
        key = DecodeBase32(
            std::string_view(seed.bytes.constData(), static_cast<size_t>(seed.bytes.size())));
    } catch (const std::invalid_argument& refused) {
        return QString::fromUtf8(refused.what());
    }

    const auto rows =
        ComputeCodeWindow(key, now, m_timeStep, static_cast<uint32_t>(m_digits), m_algorithm);
    for (const CodeRow& row : rows)
        AddCodeRow(row.offset, row.code);

    QTreeWidgetItem* present = m_otpList->topLevelItem(kPresentRow);
    m_otpList->setCurrentItem(present);
    present->setSelected(true);
    m_otpList->scrollToItem(present, QAbstractItemView::PositionAtCenter);
    m_otpList->setFocus();
    fitListToRows();
    return {};
}

void CodePreviewDialog::AddCodeRow(int32_t offset, uint32_t code)
{
    auto* item = new QTreeWidgetItem(m_otpList);
    item->setText(TimeColumn, QString::number(offset));
    item->setText(CodeColumn,
                  QString::fromStdString(FormatCode(code, static_cast<uint32_t>(m_digits))));
    item->setTextAlignment(TimeColumn, Qt::AlignCenter);
    item->setTextAlignment(CodeColumn, Qt::AlignCenter);
    // Digits of equal width make a code easy to compare with the token's display.
    item->setFont(CodeColumn, QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void CodePreviewDialog::keyPressEvent(QKeyEvent* event)
{
    // The dialog has no buttons: Enter closes it like Esc does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Shows every row at once where the screen allows, so nothing needs scrolling.
void CodePreviewDialog::fitListToRows()
{
    const int rows = m_otpList->topLevelItemCount();
    if (rows == 0)
        return;
    const int rowHeight = m_otpList->sizeHintForRow(0);
    const int frame = 2 * m_otpList->frameWidth();
    const int header = m_otpList->header()->sizeHint().height();
    const int roomOnScreen = screen()->availableGeometry().height() * 2 / 3;
    m_otpList->setMinimumHeight(std::min(header + rows * rowHeight + frame, roomOnScreen));
    const int width =
        m_otpList->fontMetrics().horizontalAdvance(QStringLiteral("-0000  0000000000"));
    m_otpList->setMinimumWidth(width + frame);
}
