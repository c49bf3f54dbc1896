#pragma once
// Base64 (RFC 2045) as mail bodies and encoded words carry it.
#include <QByteArray>

// Plain Base64, standard alphabet, "=" padding, no line breaks.
QByteArray Base64Encode(const QByteArray &bytes);
// Base64 in lines of 76 characters (57 bytes each, RFC 2045 6.8), every line, the last
// included, followed by CR LF; no lines for no bytes.
QByteArray Base64Lines(const QByteArray &bytes);
