#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutBox;
}

// The About box: the station's icon, name and version, and its maker.
class AboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit AboutBox(QWidget* parent = nullptr);
    ~AboutBox() override;

private:
    std::unique_ptr<Ui::AboutBox> ui;
};
