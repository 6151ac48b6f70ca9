#include "service/last_words.hpp"

#include <QMetaObject>
#include <QSemaphore>
#include <QString>
#include <QThread>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "service/driver_service.hpp"

namespace lumora {

namespace {

DriverService* gService = nullptr;
QtMessageHandler gPreviousHandler = nullptr;
std::terminate_handler gPreviousTerminate = nullptr;

// How long another thread waits for the service's own thread to switch the lamps off.
constexpr int kHandOverBoundMs = 250;

// The shut-down runs on the service's own thread, as every other use of the line does. From
// another thread (Qt's Wayland platform reads its display on one of its own) it is handed over,
// and this thread waits for it, bounded, before the program ends.
void shutDownFromHere()
{
    DriverService* service = gService;
    if (!service)
        return;
    if (QThread::currentThread() == service->thread()) {
        service->shutdown();
        return;
    }
    const auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(service, [service, done] { service->shutdown(), done->release(); }, Qt::QueuedConnection);
    (void)done->tryAcquire(1, kHandOverBoundMs);
}

// Qt's Wayland platform says this just before it calls _exit(), which runs no handler at all.
bool endsTheProgram(QtMsgType type, const QString& message)
{
    return type == QtFatalMsg || (type == QtWarningMsg && message.startsWith("The Wayland connection"));
}

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (endsTheProgram(type, message))
        shutDownFromHere();
    if (gPreviousHandler)
        gPreviousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void onTerminate()
{
    shutDownFromHere();
    (gPreviousTerminate ? gPreviousTerminate : std::abort)();
}

} // namespace

LastWords::LastWords(DriverService& service)
{
    static const bool registered = (std::atexit(shutDownFromHere), true);
    (void)registered;
    gService = &service;
    gPreviousHandler = qInstallMessageHandler(onMessage);
    gPreviousTerminate = std::set_terminate(onTerminate);
}

LastWords::~LastWords()
{
    std::set_terminate(gPreviousTerminate);
    qInstallMessageHandler(gPreviousHandler);
    gService = nullptr;
}

} // namespace lumora
