#include "mail/TlsErrorText.h"

QString TlsErrorText(QSslError::SslError error)
{
    switch (error) {
    case QSslError::SelfSignedCertificate:
        return QStringLiteral("自己署名の証明書です");
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("証明書の発行元が自己署名で、信頼されていません");
    case QSslError::HostNameMismatch:
        return QStringLiteral("証明書の名前がサーバ名と一致しません");
    case QSslError::CertificateExpired:
        return QStringLiteral("証明書の有効期限が切れています");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("証明書の有効期間がまだ始まっていません");
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("証明書の発行元を信頼できません");
    case QSslError::CertificateRevoked:
        return QStringLiteral("証明書は失効しています");
    case QSslError::CertificateRejected:
    case QSslError::InvalidPurpose:
        return QStringLiteral("証明書はこの用途に使えません");
    case QSslError::CertificateSignatureFailed:
    case QSslError::UnableToDecryptCertificateSignature:
    case QSslError::UnableToDecodeIssuerPublicKey:
        return QStringLiteral("証明書の署名が正しくありません");
    case QSslError::NoPeerCertificate:
        return QStringLiteral("サーバが証明書を送ってきませんでした");
    case QSslError::InvalidNotBeforeField:
    case QSslError::InvalidNotAfterField:
        return QStringLiteral("証明書の有効期間が読めません");
    case QSslError::PathLengthExceeded:
    case QSslError::InvalidCaCertificate:
        return QStringLiteral("証明書の発行元が認証局として正しくありません");
    default:
        break;
    }
    return QStringLiteral("証明書を検証できません（コード %1）").arg(int(error));
}
