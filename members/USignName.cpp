#include "members/USignName.h"

bool IsSignatureName(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1String("..")))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return false;
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return false;
        default:
            break;
        }
    }
    return true;
}

QString SignatureFolder(const QString &dataDir)
{
    return dataDir + QStringLiteral("sign");
}

QString SignaturePath(const QString &dataDir, const QString &name)
{
    return IsSignatureName(name) ? SignatureFolder(dataDir) + QLatin1Char('/') + name : QString();
}
