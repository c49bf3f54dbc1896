#include "store/AppSettings.h"

namespace AppSettings {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QStringLiteral("Brindlow"), QStringLiteral("Quillpost2"));
}

int readInt(const QString &name, int fallback)
{
    const auto s = open();
    bool ok = false;
    const int v = s->value(name).toInt(&ok);
    return s->contains(name) && ok ? v : fallback;
}

void writeInt(const QString &name, int value)
{
    open()->setValue(name, value);
}

QString readString(const QString &name, const QString &fallback)
{
    const auto s = open();
    return s->contains(name) ? s->value(name).toString() : fallback;
}

void writeString(const QString &name, const QString &value)
{
    open()->setValue(name, value);
}

bool contains(const QString &name)
{
    return open()->contains(name);
}

} // namespace AppSettings
