#include "FleetKey.h"

#include "ChildProgram.h"

QString MakeFleetKey(const QString& folder, const QString& keyType)
{
    QStringList args{"req",
                     "-x509",
                     "-nodes",
                     "-subj",
                     "/CN=Token fleet",
                     "-days",
                     "30",
                     "-keyout",
                     folder + "/key.pem",
                     "-out",
                     folder + "/cert.pem"};
    if (keyType == QLatin1String("ec"))
        args << "-newkey"
             << "ec"
             << "-pkeyopt"
             << "ec_paramgen_curve:P-256";
    else
        args << "-newkey"
             << "rsa:2048";
    ChildProgram openssl(QStringLiteral("openssl"), args);
    if (openssl.run() == 0)
        return {};
    return QStringLiteral("openssl req failed: %1%2")
        .arg(openssl.startError(), QString::fromUtf8(openssl.errorOutput()));
}
