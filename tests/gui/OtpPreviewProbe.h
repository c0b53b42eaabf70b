#pragma once

#include "MainWindow.h"
#include "otp/CodePreviewDialog.h"

#include <QApplication>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>

// What the operator sees in the preview that Test opens.
struct PreviewSeen
{
    bool opened = false;
    QString caption;
    QStringList offsets;
    QStringList codes;
    int currentRow = -1;
};

// Presses Test, reads the preview it opens and closes it as the operator
// would. When nothing opens, opened stays false.
inline PreviewSeen PressTest(MainWindow& window)
{
    PreviewSeen seen;
    QTimer watcher;
    watcher.setInterval(0);
    QObject::connect(&watcher, &QTimer::timeout, [&seen] {
        auto* dialog = qobject_cast<CodePreviewDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.opened = true;
        seen.caption = dialog->findChild<QLabel*>("otpCaption")->text();
        auto* list = dialog->findChild<QTreeWidget*>("otpList");
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            seen.offsets << list->topLevelItem(row)->text(0);
            seen.codes << list->topLevelItem(row)->text(1);
        }
        seen.currentRow = list->indexOfTopLevelItem(list->currentItem());
        dialog->accept();
    });
    watcher.start();
    window.previewOtp();
    return seen;
}
