#pragma once

#include "gui/BackgroundWork.h"

#include <QObject>

// True once the window runs no seed file load or picture search: the
// commands hand their work to a worker thread and return at once.
inline bool BackgroundWorkDone(const QObject* window)
{
    const auto* work = window->findChild<BackgroundWork*>();
    return work != nullptr && !work->busy();
}
