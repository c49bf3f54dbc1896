#pragma once
// Why a server's certificate did not verify, in short Japanese a user can act on.
#include <QSslError>
#include <QString>

QString TlsErrorText(QSslError::SslError error);
