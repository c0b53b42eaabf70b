#include "qr/ScreenshotPortal.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kObject = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshot = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// The portal's Response signal ends the wait.
class ResponseWait : public QObject
{
    Q_OBJECT

public:
    QEventLoop loop;
    bool answered = false;
    uint response = 0;
    QVariantMap results;

public slots:
    void onResponse(uint code, const QVariantMap& values)
    {
        if (answered)
            return;
        answered = true;
        response = code;
        results = values;
        loop.quit();
    }
};

// The request object the portal will create for this token: the caller's
// unique name without its ':' and with '_' for '.', then the token. Listening
// there before the call means an early answer cannot be missed.
QString RequestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kObject + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

bool Subscribe(QDBusConnection& bus, const QString& path, ResponseWait& wait)
{
    return bus.connect(kService, path, kRequest, QStringLiteral("Response"), &wait,
                       SLOT(onResponse(uint, QVariantMap)));
}

void Unsubscribe(QDBusConnection& bus, const QString& path, ResponseWait& wait)
{
    bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &wait,
                   SLOT(onResponse(uint, QVariantMap)));
}

PortalScreenshot FromError(const QDBusError& error)
{
    PortalScreenshot shot;
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::Disconnected:
        shot.status = PortalScreenshotStatus::NoPortal;
        break;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
        shot.status = PortalScreenshotStatus::NoAnswer;
        break;
    default:
        // A bus without activation of the name says so in words of its own.
        shot.status = error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
                          ? PortalScreenshotStatus::NoPortal
                          : PortalScreenshotStatus::Failed;
        break;
    }
    shot.detail = error.message();
    return shot;
}

PortalScreenshot FromResponse(uint response, const QVariantMap& results)
{
    PortalScreenshot shot;
    switch (response) {
    case 0: {
        const QString uri = results.value(QStringLiteral("uri")).toString();
        const QUrl url(uri, QUrl::StrictMode);
        if (url.isValid() && url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            shot.status = PortalScreenshotStatus::Taken;
            shot.path = url.toLocalFile();
        } else {
            shot.status = PortalScreenshotStatus::Failed;
            shot.detail = uri.isEmpty()
                              ? QStringLiteral("the answer names no picture file")
                              : QStringLiteral("the answer names no local file: %1").arg(uri);
        }
        break;
    }
    case 1:
        shot.status = PortalScreenshotStatus::Refused;
        break;
    case 2:
        shot.status = PortalScreenshotStatus::Ended;
        break;
    default:
        shot.status = PortalScreenshotStatus::Failed;
        shot.detail = QStringLiteral("unknown response %1").arg(response);
        break;
    }
    return shot;
}

} // namespace

PortalScreenshot TakePortalScreenshot(const QDBusConnection& connection, int timeoutMs)
{
    QDBusConnection bus = connection;
    if (!bus.isConnected())
        return {};

    const QString token = QStringLiteral("station%1").arg(QRandomGenerator::global()->generate());
    QString requestPath = RequestPath(bus, token);
    ResponseWait wait;
    Subscribe(bus, requestPath, wait);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kObject, kScreenshot,
                                                       QStringLiteral("Screenshot"));
    call << QString() // no parent window: ours is minimised meanwhile
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), false}};
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, timeoutMs));
    bool callFailed = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &wait, [&] {
        const QDBusPendingReply<QDBusObjectPath> reply = watcher;
        if (reply.isError()) {
            callFailed = true;
            wait.loop.quit();
            return;
        }
        // Portals older than the handle_token option make a path of their own.
        const QString handle = reply.value().path();
        if (!handle.isEmpty() && handle != requestPath && !wait.answered) {
            Unsubscribe(bus, requestPath, wait);
            requestPath = handle;
            Subscribe(bus, requestPath, wait);
        }
    });

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &wait.loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    wait.loop.exec(QEventLoop::ExcludeUserInputEvents);
    Unsubscribe(bus, requestPath, wait);

    if (wait.answered)
        return FromResponse(wait.response, wait.results);
    if (callFailed)
        return FromError(watcher.error());

    // Nobody answered: take the question off the desktop, if it still asks.
    bus.call(
        QDBusMessage::createMethodCall(kService, requestPath, kRequest, QStringLiteral("Close")),
        QDBus::NoBlock);
    PortalScreenshot shot;
    shot.status = PortalScreenshotStatus::NoAnswer;
    return shot;
}

#include "ScreenshotPortal.moc"
