#pragma once
// The per-user settings store. Value names are the ones the program has always used
// ("Width" capitalised, "height", "left", "top" not), so they are spelled out at each use.
#include <QSettings>
#include <QString>

#include <memory>

namespace AppSettings {

std::unique_ptr<QSettings> open();

// An integer value when it exists, else the fallback.
int readInt(const QString &name, int fallback);
void writeInt(const QString &name, int value);
QString readString(const QString &name, const QString &fallback = QString());
void writeString(const QString &name, const QString &value);
bool contains(const QString &name);

} // namespace AppSettings
