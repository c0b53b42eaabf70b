#include "AboutBox.h"

#include "ui_AboutBox.h"

#include <QIcon>
#include <QLayout>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::AboutBox>())
{
    ui->setupUi(this);
    // The icon stands as tall as the two lines of text beside it and a half.
    const int iconSize = fontMetrics().height() * 5 / 2;
    ui->iconLabel->setPixmap(
        QIcon(QStringLiteral(":/station/station.png")).pixmap(iconSize, iconSize));
    // The box is as large as its contents ask, and no larger or smaller.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

AboutBox::~AboutBox() = default;
