#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

// A desktop portal of the tests' own on a private bus: it owns
// org.freedesktop.portal.Desktop, serves org.freedesktop.portal.Screenshot on
// /org/freedesktop/portal/desktop, and answers each request the way a desktop
// does, with a Response signal on the request's object, as it is told.
class FakeScreenshotPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")

public:
    enum class Answer
    {
        Picture, // response 0 with a file:// address of the path given
        Uri,     // response 0 with the address given, as it is
        Refuse,  // response 1: the user did not allow it
        End,     // response 2: ended some other way
        Silent,  // no response until answerNow()
    };

    FakeScreenshotPortal();
    ~FakeScreenshotPortal() override;

    // Joins the bus at address and takes the portal's name. Empty on
    // success, otherwise what went wrong.
    QString start(const QString& address);
    // Leaves the bus: from then on no portal answers.
    void stop();

    void answerWith(Answer answer, const QString& pathOrUri = QString());
    // A silent portal answers its open request now, with a picture at path.
    void answerNow(const QString& path);

    int requests() const { return m_requests; }
    int closes() const { return m_closes; }
    QVariantMap lastOptions() const { return m_lastOptions; }

    // D-Bus: org.freedesktop.portal.Screenshot.Screenshot.
public slots:
    QDBusObjectPath Screenshot(const QString& parentWindow, const QVariantMap& options,
                               const QDBusMessage& message);

signals:
    void requested(); // a Screenshot call came in

private:
    friend class FakePortalRequest;
    void respond(uint code, const QVariantMap& results);
    void closeRequest(); // the client took the question back
    void dropRequest();

    QString m_connectionName;
    QDBusConnection m_bus;
    Answer m_answer = Answer::Picture;
    QString m_pathOrUri;
    QString m_openRequest; // the request object waiting for its answer
    int m_requests = 0;
    int m_closes = 0;
    QVariantMap m_lastOptions;
};

// The request object the portal makes for each call; its Close method is
// what a client calls to take the question back.
class FakePortalRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    explicit FakePortalRequest(FakeScreenshotPortal& portal) : m_portal(portal) {}

public slots:
    void Close() { m_portal.closeRequest(); }

private:
    FakeScreenshotPortal& m_portal;
};
