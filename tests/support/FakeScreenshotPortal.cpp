#include "FakeScreenshotPortal.h"

#include <QTimer>
#include <QUrl>

namespace {
const QString kService = "org.freedesktop.portal.Desktop";
const QString kObject = "/org/freedesktop/portal/desktop";
} // namespace

FakeScreenshotPortal::FakeScreenshotPortal()
    : m_connectionName(QString("fake-portal-%1").arg(reinterpret_cast<quintptr>(this))),
      m_bus(m_connectionName)
{}

FakeScreenshotPortal::~FakeScreenshotPortal()
{
    stop();
}

QString FakeScreenshotPortal::start(const QString& address)
{
    m_bus = QDBusConnection::connectToBus(address, m_connectionName);
    if (!m_bus.isConnected())
        return QString("the fake portal cannot join the bus %1: %2")
            .arg(address, m_bus.lastError().message());
    if (!m_bus.registerObject(kObject, this, QDBusConnection::ExportAllSlots))
        return QString("the fake portal cannot serve %1").arg(kObject);
    if (!m_bus.registerService(kService))
        return QString("the fake portal cannot own %1: %2")
            .arg(kService, m_bus.lastError().message());
    return {};
}

void FakeScreenshotPortal::stop()
{
    if (!m_bus.isConnected())
        return;
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kObject);
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_bus = QDBusConnection(m_connectionName);
}

void FakeScreenshotPortal::answerWith(Answer answer, const QString& pathOrUri)
{
    m_answer = answer;
    m_pathOrUri = pathOrUri;
}

QDBusObjectPath FakeScreenshotPortal::Screenshot(const QString&, const QVariantMap& options,
                                                 const QDBusMessage& message)
{
    ++m_requests;
    m_lastOptions = options;
    // The request's object: the caller's unique name without ':' and with
    // '_' for '.', then the caller's token.
    QString sender = message.service().mid(1).replace('.', '_');
    QString token = options.value("handle_token").toString();
    if (token.isEmpty())
        token = QString("t%1").arg(m_requests);
    m_openRequest = kObject + "/request/" + sender + "/" + token;
    m_bus.registerObject(m_openRequest, new FakePortalRequest(*this),
                         QDBusConnection::ExportAllSlots);

    // The answer follows the call's reply, as a desktop's does.
    QTimer::singleShot(0, this, [this] {
        switch (m_answer) {
        case Answer::Picture:
            respond(0, {{"uri", QUrl::fromLocalFile(m_pathOrUri).toString()}});
            break;
        case Answer::Uri:
            respond(0, {{"uri", m_pathOrUri}});
            break;
        case Answer::Refuse:
            respond(1, {});
            break;
        case Answer::End:
            respond(2, {});
            break;
        case Answer::Silent:
            break;
        }
    });
    emit requested();
    return QDBusObjectPath(m_openRequest);
}

void FakeScreenshotPortal::answerNow(const QString& path)
{
    respond(0, {{"uri", QUrl::fromLocalFile(path).toString()}});
}

void FakeScreenshotPortal::respond(uint code, const QVariantMap& results)
{
    if (m_openRequest.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(m_openRequest, "org.freedesktop.portal.Request", "Response");
    signal << code << results;
    m_bus.send(signal);
    dropRequest();
}

void FakeScreenshotPortal::closeRequest()
{
    if (m_openRequest.isEmpty())
        return;
    ++m_closes;
    dropRequest();
}

void FakeScreenshotPortal::dropRequest()
{
    QObject* request = m_bus.objectRegisteredAt(m_openRequest);
    m_bus.unregisterObject(m_openRequest);
    if (request)
        request->deleteLater();
    m_openRequest.clear();
}
