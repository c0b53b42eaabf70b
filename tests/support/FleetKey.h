#pragma once

#include <QString>

// A key pair of the fleet made with the openssl command, as an administrator
// makes one: key.pem and cert.pem (a self-signed X.509 certificate) in
// folder. keyType is "rsa" (2048 bits) or "ec" (P-256). Empty when made,
// what openssl said otherwise.
QString MakeFleetKey(const QString& folder, const QString& keyType = QStringLiteral("rsa"));
