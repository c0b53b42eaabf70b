#include "AboutBox.h"

#include "DialogUnits.h"
#include "ui_AboutBox.h"

#include <QIcon>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::AboutBox>())
{
    ui->setupUi(this);
    const DialogUnits units(fontMetrics());
    const int iconSize = units.y(20);
    ui->iconLabel->setPixmap(
        QIcon(QStringLiteral(":/station/station.png")).pixmap(iconSize, iconSize));
    ui->closeButton->setMinimumWidth(units.x(50));
    setFixedSize(sizeHint().expandedTo(QSize(units.x(170), units.y(62))));
}

AboutBox::~AboutBox() = default;
